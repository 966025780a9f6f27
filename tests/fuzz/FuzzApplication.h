#pragma once
// The widget application that the inspector's objects need, made once (offscreen unless the environment
// names another platform).
#include <QApplication>

namespace fuzz {

inline void EnsureApplication() {
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication application(argc, argv);
}

} // namespace fuzz
