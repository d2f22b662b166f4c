#pragma once

#include "support/test_env.h"

#include <QApplication>

#include <unistd.h>

// CORVANTIS_TEST_MAIN for tests of windows: a QApplication, and the browser
// engine's sandbox off when running as root, as the program does.
#define CORVANTIS_GUI_TEST_MAIN(TestObject)                                                        \
    int main(int argc, char** argv) {                                                              \
        corvantis::testing::TestEnvironment env;                                                   \
        if (::getuid() == 0)                                                                       \
            qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");                                           \
        QApplication app(argc, argv);                                                              \
        QApplication::setOrganizationName(QStringLiteral("Corvantis"));                            \
        QApplication::setApplicationName(QStringLiteral("Corvantis"));                             \
        TestObject tc;                                                                             \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
