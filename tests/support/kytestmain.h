#pragma once

// Test mains. Each sets up the private test environment before the
// application object exists, fails the run when a form slot is not bound to
// its widget ("QMetaObject::connectSlotsByName: No matching signal" would
// otherwise only be printed), and tears the process-wide single objects down
// while the application object still exists.

#include "kytestenv.h"
#include "common/kycleanup.h"

#include <QtTest>
#include <cstdio>

namespace kytest {

inline bool &unboundSlotSeen()
{
    static bool seen = false;
    return seen;
}

inline QtMessageHandler &previousHandler()
{
    static QtMessageHandler handler = nullptr;
    return handler;
}

inline void testMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains(QLatin1String("QMetaObject::connectSlotsByName: No matching signal"))) {
        unboundSlotSeen() = true;
        std::fprintf(stderr, "FAIL! unbound form slot: %s\n", qPrintable(message));
    }
    if (previousHandler())
        previousHandler()(type, context, message);
}

inline void installTestMessageHandler()
{
    previousHandler() = qInstallMessageHandler(testMessageHandler);
}

template<typename App, typename Test>
int runTest(int argc, char *argv[])
{
    setUpTestEnvironment();
    App app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    installTestMessageHandler();
    int result = 0;
    {
        Test test;
        QTEST_SET_MAIN_SOURCE_PATH
        result = QTest::qExec(&test, argc, argv);
    }
    runProcessCleanups();
    if (unboundSlotSeen())
        result = result ? result : 1;
    return result;
}

} // namespace kytest

#define KY_TEST_MAIN_WITH(AppClass, TestClass) \
    int main(int argc, char *argv[]) { return kytest::runTest<AppClass, TestClass>(argc, argv); }

// Widgets tests (QApplication), GUI tests without widgets, and core tests.
#define KY_TEST_MAIN(TestClass) KY_TEST_MAIN_WITH(QApplication, TestClass)
#define KY_TEST_GUILESS_MAIN(TestClass) KY_TEST_MAIN_WITH(QCoreApplication, TestClass)
