#include "platform/window/WindowSystem.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QLibraryInfo>
#include <QThread>
#include <QTimer>
#include <QTranslator>

#include <algorithm>
#include <chrono>
#include <exception>
#include <future>
#include <thread>

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

void RunKeepingWindowsPainted(const std::function<void()>& work, const std::function<void()>& tick, int tickMs,
                              int quietMs) {
    const QCoreApplication* application = QCoreApplication::instance();
    QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    if (application == nullptr || dispatcher == nullptr || QThread::currentThread() != application->thread()) {
        work();
        return;
    }
    std::promise<void> outcome;
    std::future<void> finished = outcome.get_future();
    const auto ended = [&finished](std::chrono::milliseconds wait) {
        return finished.wait_for(wait) == std::future_status::ready;
    };
    QTimer ticker;
    ticker.setInterval(std::max(tickMs, 1));
    QObject::connect(&ticker, &QTimer::timeout, [&tick] {
        if (tick) tick();
    });
    {
        const std::jthread worker([&] {
            try {
                work();
                outcome.set_value();
            } catch (...) {
                outcome.set_exception(std::current_exception());
            }
            dispatcher->wakeUp();  // after the outcome is set, so the loop below sees it when it wakes
        });
        // Work that ends soon ends before anything else runs, as a direct call would: painting beside it
        // would only slow it down, and no one sees a pause this short.
        if (!ended(std::chrono::milliseconds(std::max(quietMs, 0)))) {
            // The timer also bounds every wait below, whatever the dispatcher does with a wake-up. Not a
            // QEventLoop: a host quitting its application while work runs must not end this wait, since
            // work still uses the caller's objects.
            ticker.start();
            while (!ended(std::chrono::milliseconds(0)))
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents | QEventLoop::WaitForMoreEvents);
        }
    }
    finished.get();  // throws what work threw
}
