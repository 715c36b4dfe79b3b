// The window benchmarks' application object (apart from BenchSupport.cpp, whose names Qt's keywords clash
// with).
#include <QApplication>

#include "BenchSupport.h"

namespace bench {

void EnsureWindowSystem() {
    if (QApplication::instance() != nullptr) return;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    // Never destroyed: destroyed by an exit handler, the application object would outlive the statics Qt
    // made after it.
    static int argc = 1;
    static char name[] = "kivpicture_bench";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

}  // namespace bench
