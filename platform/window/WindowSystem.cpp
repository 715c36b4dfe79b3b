#include "platform/window/WindowSystem.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "platform/Language.h"

namespace {

// Qt keeps pointers to argc and argv for the application's life, so they live as long as it does.
int applicationArgc = 1;
char applicationName[] = "kivpicture";
char* applicationArgv[] = {applicationName, nullptr};

// The application for a host without one. Qt's own words (the file dialog's labels and buttons, its
// questions) come in the language the module's resources are read in, as a system's dialogs speak the
// user's language: Qt's translations, where installed. A Qt host loads its own.
QApplication* MakeApplication() {
    auto* application = new QApplication(applicationArgc, applicationArgv);
    const LANGID language = GetThreadUILanguage();
    const char* name = language == LANG_CHINESE_SIMPLIFIED    ? "qtbase_zh_CN"
                       : language == LANG_CHINESE_TRADITIONAL ? "qtbase_zh_TW"
                                                              : nullptr;  // English is Qt's own
    auto* translator = new QTranslator(application);
    if (name && translator->load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
    return application;
}

}  // namespace

BOOL AfxEnsureWindowSystem() {
    if (QApplication::instance() != nullptr) return TRUE;
    // Created once and never destroyed: Qt's own statics go before a static application object would,
    // and destroying it after them crashes the process at exit. It stays reachable, so leak checkers
    // do not count it; the process's end releases it.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY") &&
        !qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return FALSE;  // Qt would abort the process without a display to open
    static QApplication* const application = MakeApplication();
    (void)application;
    return TRUE;
}
