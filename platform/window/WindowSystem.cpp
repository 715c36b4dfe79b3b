#include "platform/window/WindowSystem.h"

#include <QApplication>

#include <memory>

namespace {

// Qt keeps pointers to argc and argv for the application's life, so they live as long as it does.
int applicationArgc = 1;
char applicationName[] = "kivpicture";
char* applicationArgv[] = {applicationName, nullptr};

}  // namespace

BOOL AfxEnsureWindowSystem() {
    if (QApplication::instance() != nullptr) return TRUE;
    // Created once and kept until exit: a host without an application object of its own has asked for
    // windows, and Qt allows one application object per process.
    static std::unique_ptr<QApplication> application;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY") &&
        !qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return FALSE;  // Qt would abort the process without a display to open
    application = std::make_unique<QApplication>(applicationArgc, applicationArgv);
    return TRUE;
}
