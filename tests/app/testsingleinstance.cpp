#include "kytestmain.h"

#include "app/kysingleapplication.h"
#include "common/kyconstants.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSignalSpy>
#include <QWidget>

#include <algorithm>
#include <csignal>
#include <memory>

namespace {
// This test process is itself the first instance for the id in the test's
// runtime folder; real VURuv processes are started as second instances. For
// the cases where the first instance must be a VURuv process too, those run
// in a runtime folder of their own.
struct TestApp : KySingleApplication
{
    TestApp(int &argc, char **argv)
        : KySingleApplication(APP_ID, argc, argv)
    {
    }
};

QString vuruv()
{
    return kytest::binDir() + QStringLiteral("/VURuv");
}

QProcessEnvironment envWithRuntime(const QString &runtime)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!runtime.isEmpty())
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    return env;
}

std::unique_ptr<QProcess> startVuruv(const QString &runtime = QString())
{
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(envWithRuntime(runtime));
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(vuruv(), QStringList());
    return process;
}

// Waits (keeping this process's event loop running, so it can answer) for
// the process to end; returns its exit code, or -1 on time-out.
int exitCode(QProcess *process, int timeoutMs)
{
    if (process->state() != QProcess::NotRunning) {
        QSignalSpy finished(process, SIGNAL(finished(int, QProcess::ExitStatus)));
        if (!finished.wait(timeoutMs))
            return -1;
    }
    return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -2;
}

QString privateRuntime(const QString &name)
{
    const QString dir = kytest::testRoot() + QStringLiteral("/runtime-") + name;
    QDir().mkpath(dir);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return dir;
}

// True once the instance owning `runtime` listens.
bool waitUntilListening(const QString &runtime)
{
    const QString socket = runtime + QStringLiteral("/") + APP_ID + QStringLiteral(".socket");
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 20000) {
        if (QFile::exists(socket) && QFile::exists(runtime + QStringLiteral("/") + APP_ID + QStringLiteral(".lock")))
            return true;
        QTest::qWait(50);
    }
    return false;
}
} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

    TestApp *app() { return static_cast<TestApp *>(qApp); }

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::exists(vuruv()));
        QVERIFY(!app()->isRunning());
        QVERIFY(QFile::exists(KySingleApplication::serverName(APP_ID)));
    }

    void secondStartBringsHiddenWindowBack()
    {
        QWidget window;
        window.resize(300, 200);
        app()->setActivationWindow(&window, true);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.hide();
        QSignalSpy messages(app(), &KySingleApplication::messageReceived);

        auto second = startVuruv();
        QCOMPARE(exitCode(second.get(), 20000), 0);
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first().first().toString(), APP_ID);
        QVERIFY(window.isVisible());
        QCOMPARE(window.windowState(), Qt::WindowActive);
        app()->setActivationWindow(nullptr, false);
    }

    void secondStartUnminimises()
    {
        QWidget window;
        window.resize(300, 200);
        app()->setActivationWindow(&window, true);
        window.showMinimized();
        QTRY_VERIFY(window.isMinimized());

        auto second = startVuruv();
        QCOMPARE(exitCode(second.get(), 20000), 0);
        QVERIFY(window.isVisible());
        QVERIFY(!window.isMinimized());
        QCOMPARE(window.windowState(), Qt::WindowActive);
        app()->setActivationWindow(nullptr, false);
    }

    void frozenFirstInstanceMakesTheSecondExitWithOne()
    {
        const QString runtime = privateRuntime(QStringLiteral("frozen"));
        auto first = startVuruv(runtime);
        QVERIFY(waitUntilListening(runtime));
        ::kill(pid_t(first->processId()), SIGSTOP);

        QElapsedTimer clock;
        clock.start();
        auto second = startVuruv(runtime);
        QCOMPARE(exitCode(second.get(), 30000), 1);
        const qint64 waited = clock.elapsed();
        QVERIFY2(waited >= 4500, qPrintable(QString::number(waited)));

        ::kill(pid_t(first->processId()), SIGCONT);
        first->kill();
        first->waitForFinished(10000);
    }

    void killedFirstInstanceDoesNotBlockTheNext()
    {
        const QString runtime = privateRuntime(QStringLiteral("killed"));
        auto first = startVuruv(runtime);
        QVERIFY(waitUntilListening(runtime));
        first->kill(); // SIGKILL: the lock and the socket stay behind
        first->waitForFinished(10000);
        QVERIFY(QFile::exists(runtime + QStringLiteral("/") + APP_ID + QStringLiteral(".lock")));

        auto next = startVuruv(runtime);
        QVERIFY(next->waitForStarted(10000));
        // It became the first instance: it keeps running and answers a third.
        QTest::qWait(1500);
        QCOMPARE(next->state(), QProcess::Running);
        auto third = startVuruv(runtime);
        QCOMPARE(exitCode(third.get(), 20000), 0);
        QCOMPARE(next->state(), QProcess::Running);

        next->terminate();
        if (!next->waitForFinished(10000))
            next->kill();
    }

    void terminationEndsTheProgramCleanly()
    {
        // SIGTERM (a logout) ends the program like its own quit: exit code 0
        // and the install folders saved.
        const QString runtime = privateRuntime(QStringLiteral("term"));
        const QString settings = kytest::dataHome() + QStringLiteral("/VURuv/systemSetting");
        QFile::remove(settings);
        auto first = startVuruv(runtime);
        QVERIFY(waitUntilListening(runtime));
        first->terminate();
        QCOMPARE(exitCode(first.get(), 20000), 0);
        QVERIFY(QFile::exists(settings));
        QVERIFY(!QFile::exists(runtime + QStringLiteral("/") + APP_ID + QStringLiteral(".lock")));
    }

    // With KY_STARTUP_TRACE set the stages from the entry function to the
    // first paint and a little after reach the debug log in one block, in
    // the order they ran, with growing times; the block is written when the
    // trace ends, here early because the program is asked to end.
    void startupTraceGoesToTheDebugLog()
    {
        const QString runtime = privateRuntime(QStringLiteral("trace"));
        const QDir logs(QStandardPaths::writableLocation(QStandardPaths::TempLocation) + QStringLiteral("/VURuv"));
        for (const QString &name : logs.entryList({QStringLiteral("*_debug.log")}))
            QFile::remove(logs.filePath(name));
        QProcessEnvironment env = envWithRuntime(runtime);
        env.insert(QStringLiteral("KY_STARTUP_TRACE"), QStringLiteral("1"));
        QProcess first;
        first.setProcessEnvironment(env);
        first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        first.start(vuruv(), QStringList());
        QVERIFY(waitUntilListening(runtime));
        first.terminate();
        QCOMPARE(exitCode(&first, 20000), 0);

        QStringList stages;
        QList<double> times;
        const QRegularExpression line(QStringLiteral("by startup trace, ([0-9.]+) ms \\(\\+[-0-9.]+, processor "
                                                     "\\+[-0-9.]+\\), [0-9.]+ MB: (.+)$"));
        for (const QString &name : logs.entryList({QStringLiteral("*_debug.log")})) {
            QFile file(logs.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            for (const QString &text : QString::fromLocal8Bit(file.readAll()).split(QStringLiteral("\r\n"))) {
                const QRegularExpressionMatch match = line.match(text);
                if (match.hasMatch()) {
                    times << match.captured(1).toDouble();
                    stages << match.captured(2);
                }
            }
        }
        const QStringList milestones{QStringLiteral("main"), QStringLiteral("application object built"),
                                     QStringLiteral("main window built"), QStringLiteral("window shown"),
                                     QStringLiteral("trace ends")};
        int at = -1;
        for (const QString &milestone : milestones) {
            const int found = stages.indexOf(milestone);
            QVERIFY2(found > at, qPrintable(milestone + QStringLiteral(" in ") + stages.join(QStringLiteral(", "))));
            at = found;
        }
        QCOMPARE(stages.last(), QStringLiteral("trace ends"));
        QVERIFY(times.first() > 0);
        QVERIFY(std::is_sorted(times.cbegin(), times.cend()));
    }

    void socketIsReachableByTheUserOnly()
    {
        const QFileInfo socket(KySingleApplication::serverName(APP_ID));
        QVERIFY(socket.exists());
        QCOMPARE(socket.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
                 QFile::Permissions());
    }
};

KY_TEST_MAIN_WITH(TestApp, TestSingleInstance)
#include "testsingleinstance.moc"
