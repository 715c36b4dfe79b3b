#include "platform/window/WindowSystem.h"

#include <QApplication>

namespace {

// Qt keeps pointers to argc and argv for the application's life, so they live as long as it does.
int applicationArgc = 1;
char applicationName[] = "kivpicture";
char* applicationArgv[] = {applicationName, nullptr};

}  // namespace

BOOL AfxEnsureWindowSystem() {
    if (QApplication::instance() != nullptr) return TRUE;
    // Created once and never destroyed: Qt's own statics go before a static application object would,
    // and destroying it after them crashes the process at exit. It stays reachable, so leak checkers
    // do not count it; the process's end releases it.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY") &&
        !qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return FALSE;  // Qt would abort the process without a display to open
    static QApplication* const application = new QApplication(applicationArgc, applicationArgv);
    (void)application;
    return TRUE;
}
