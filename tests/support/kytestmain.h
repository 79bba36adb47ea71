#pragma once

// Test mains. Each sets up the private test environment before the
// application object exists, fails the run when a form slot is not bound to
// its widget ("QMetaObject::connectSlotsByName: No matching signal" would
// otherwise only be printed), and tears the process-wide single objects down
// while the application object still exists.

#include "kytestenv.h"
#include "common/kycleanup.h"

#include <QtTest>
// Module-qualified: suites without widgets reach these headers through the
// Qt include folder and never use what they declare.
#include <QtCore/QPointer>
#include <QtWidgets/QApplication>
#include <QtWidgets/QDialog>
#include <QtWidgets/QLabel>

#include <cstdio>
#include <type_traits>

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

inline bool &unansweredModalSeen()
{
    static bool seen = false;
    return seen;
}

// A modal dialog that no test step answers blocks the run until ctest's
// time-out and names nothing (seen when another program's tool process made a
// wizard warn one step early). One that stays up for a minute is closed here,
// and the run fails with its texts.
inline void watchUnansweredModals(QObject *owner)
{
    constexpr int kSeconds = 60;
    auto *timer = new QTimer(owner);
    auto shown = std::make_shared<QPointer<QWidget>>();
    auto seconds = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [shown, seconds] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || modal != shown->data()) {
            *shown = modal;
            *seconds = 0;
            return;
        }
        if (++*seconds < kSeconds)
            return;
        QStringList texts;
        for (const QLabel *label : modal->findChildren<QLabel *>()) {
            if (!label->text().isEmpty())
                texts << label->text();
        }
        std::fprintf(stderr, "FAIL! a modal %s (%s) stayed unanswered for %d s: %s\n",
                     modal->metaObject()->className(), qPrintable(modal->windowTitle()), kSeconds,
                     qPrintable(texts.join(QLatin1String(" | "))));
        unansweredModalSeen() = true;
        *shown = nullptr;
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
    });
    timer->start(1000);
}

inline void installTestMessageHandler()
{
    previousHandler() = qInstallMessageHandler(testMessageHandler);
}

// `beforeApp` runs before the application object exists, as the program's
// own settings of that kind do (display scaling).
template<typename App, typename Test>
int runTest(int argc, char *argv[], void (*beforeApp)(int, char *[]) = nullptr)
{
    setUpTestEnvironment();
    if (beforeApp)
        beforeApp(argc, argv);
    App app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    installTestMessageHandler();
    if constexpr (std::is_base_of_v<QApplication, App>)
        watchUnansweredModals(&app);
    int result = 0;
    {
        Test test;
        QTEST_SET_MAIN_SOURCE_PATH
        result = QTest::qExec(&test, argc, argv);
    }
    runProcessCleanups();
    if (unboundSlotSeen() || unansweredModalSeen())
        result = result ? result : 1;
    return result;
}

} // namespace kytest

#define KY_TEST_MAIN_WITH(AppClass, TestClass) \
    int main(int argc, char *argv[]) { return kytest::runTest<AppClass, TestClass>(argc, argv); }

// Widgets tests (QApplication), GUI tests without widgets, and core tests.
#define KY_TEST_MAIN(TestClass) KY_TEST_MAIN_WITH(QApplication, TestClass)
#define KY_TEST_GUILESS_MAIN(TestClass) KY_TEST_MAIN_WITH(QCoreApplication, TestClass)
