#pragma once
// Helpers shared by the dispatcher, signal and interaction tests.

#include "QVxCore/tests/support/LogCapture.h"

#include <QCoreApplication>

namespace qvx::test {

// One QCoreApplication for the whole test program, created on the main thread.
inline void EnsureCoreApplication() {
    static int argc = 1;
    static char name[] = "qvxcore_dispatch_tests";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        new QCoreApplication(argc, argv);
    }
}

}  // namespace qvx::test
