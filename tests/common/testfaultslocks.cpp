// Lock files nobody can vouch for: planted or left half-written at the
// single-instance lock and at the RPC service's lock. The program must start
// all the same, say in its log what it found, and still let only one
// instance live when many start at once.

#include "kytestmain.h"
#include "kylogcapture.h"
#include "faultsupport.h"

#include "rpc/rpc.h"

#include <QDate>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>

#include <csignal>

#include <memory>
#include <vector>

namespace {

const QByteArray kVictimText = "not a lock\n";

// Plants `kind` at `path`: "empty", "garbage", "link" (to `victim`),
// "dangling link", "folder", or "id taken by another process" (the lock and
// owner record of a process that ended, its id now this very process's).
bool plant(const QString &kind, const QString &path, const QString &victim)
{
    if (kind == QLatin1String("id taken by another process")) {
        QByteArray content;
        {
            QLockFile owner(path);
            if (!owner.tryLock(0))
                return false;
            content = kytest::readFile(path);
        }
        return kytest::writeFile(path, content)
            && kytest::writeFile(path + QStringLiteral(".owner"),
                                 QByteArray::number(QCoreApplication::applicationPid()) + " 1\n");
    }
    if (kind == QLatin1String("empty"))
        return kytest::writeFile(path, QByteArray());
    if (kind == QLatin1String("garbage"))
        return kytest::writeFile(path, QByteArray("\x89PNG\r\n\x1a\n\xff\xfe garbage", 18));
    if (kind == QLatin1String("link"))
        return QFile::link(victim, path);
    if (kind == QLatin1String("dangling link"))
        return QFile::link(path + QStringLiteral(".nowhere"), path);
    if (kind == QLatin1String("folder"))
        return QDir().mkdir(path);
    return false;
}

void addPlantRows(bool reusedId = false)
{
    QTest::addColumn<QString>("kind");
    for (const char *kind : {"empty", "garbage", "link", "dangling link", "folder"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
    if (reusedId)
        QTest::newRow("id taken by another process") << QStringLiteral("id taken by another process");
}

QString errorLog()
{
    return kytest::tempDir() + QStringLiteral("/VURuv/") + QDate::currentDate().toString(QStringLiteral("MMdd_"))
        + QStringLiteral("error.log");
}

} // namespace

class TestFaultsLocks : public QObject
{
    Q_OBJECT

private slots:
    void unreadableSingleInstanceLockIsRecovered_data() { addPlantRows(); }
    void unreadableSingleInstanceLockIsRecovered();
    void unreadableServiceLockIsRecovered_data() { addPlantRows(true); }
    void unreadableServiceLockIsRecovered();
    void lockOfACrashedInstanceWhoseIdCameBack();
    void fiftySimultaneousStartsLeaveOne();
};

// Before: every start exited 1, without a window and without a log line.
void TestFaultsLocks::unreadableSingleInstanceLockIsRecovered()
{
    QFETCH(QString, kind);
    const QString runtime = kyfault::freshRuntime(QStringLiteral("lock"));
    const QString victim = kyfault::freshDir(QStringLiteral("victim")) + QStringLiteral("/file");
    QVERIFY(kytest::writeFile(victim, kVictimText));
    const QString lock = runtime + QLatin1Char('/') + APP_ID + QStringLiteral(".lock");
    QVERIFY(plant(kind, lock, victim));
    QFile::remove(errorLog());

    kyfault::ProgramRun run(runtime);
    QVERIFY2(run.waitUntilListening(), qPrintable(run.standardError()));
    QVERIFY(run.stop());
    QCOMPARE(kytest::readFile(victim), kVictimText);
    const QString log = QString::fromUtf8(kytest::readFile(errorLog()));
    QVERIFY2(log.contains(QStringLiteral("lock file ") + lock + QStringLiteral(" holds")), qPrintable(log));
    QVERIFY(log.contains(QStringLiteral("taking it over")));
}

// Before: the service stayed unstarted, and the login component had nobody
// to report to.
void TestFaultsLocks::unreadableServiceLockIsRecovered()
{
    QFETCH(QString, kind);
    const QString victim = kyfault::freshDir(QStringLiteral("victim")) + QStringLiteral("/file");
    QVERIFY(kytest::writeFile(victim, kVictimText));
    const QString lock = kytest::runtimeDir() + QStringLiteral("/kyrpc-KyFaultLock.lock");
    QVERIFY(plant(kind, lock, victim));

    kytest::LogCapture log;
    RpcInstance instance = RpcCreateInstance(RPC_VERSION_MAJOR, RPC_VERSION_MINOR, nullptr, nullptr);
    QVERIFY(instance);
    const bool started = RpcStartService(instance, u"KyFaultLock", RPC_SCOPE_USER);
    RpcStopService(instance);
    QVERIFY2(started, qPrintable(log.text()));
    QCOMPARE(kytest::readFile(victim), kVictimText);
    QVERIFY2(log.text().contains(QStringLiteral("lock file ") + lock + QStringLiteral(" holds")), qPrintable(log.text()));
    QVERIFY(!QFileInfo::exists(lock) && !QFileInfo(lock).isSymLink());
}

// A killed VURuv leaves its lock; the next start gets the same process id
// (under Wine every start in a fresh session does; elsewhere ids wrap).
// Before: that start took itself for the running instance, waited 5 s for
// an answer and exited 1, every time, until the lock was deleted by hand.
void TestFaultsLocks::lockOfACrashedInstanceWhoseIdCameBack()
{
    const QString runtime = kyfault::freshRuntime(QStringLiteral("reused"));
    QString lock;
    {
        kyfault::ProgramRun crashed(runtime);
        QVERIFY2(crashed.waitUntilListening(), qPrintable(crashed.standardError()));
        lock = crashed.lockPath();
        ::kill(pid_t(crashed.process().processId()), SIGKILL);
        QVERIFY(crashed.process().waitForFinished(10000));
    }
    QVERIFY(QFileInfo(lock).isFile());
    QVERIFY(QFileInfo(lock + QStringLiteral(".owner")).isFile());

    // The next VURuv, whose id the lock and its record name: a shell puts its
    // own id there, then becomes VURuv.
    const QString rename = QStringLiteral("sed -i \"1s/.*/$$/\" '%1' && sed -i \"s/^[0-9]* /$$ /\" '%1.owner'").arg(lock);
    kyfault::ProgramRun next(runtime, QString(), rename);
    // The crashed one's socket file is still there: listening shows only
    // when a connection is taken.
    auto listening = [&next]() {
        QLocalSocket socket;
        socket.connectToServer(next.socketPath());
        return socket.waitForConnected(200);
    };
    QTRY_VERIFY_WITH_TIMEOUT(listening(), 20000);
    // It is the running instance: a later start hands over to it.
    kyfault::ProgramRun late(runtime);
    QVERIFY(late.process().waitForFinished(30000));
    QCOMPARE(late.process().exitCode(), 0);
    QCOMPARE(next.process().state(), QProcess::Running);
    qint64 owner = 0;
    QVERIFY(QLockFile(lock).getLockInfo(&owner, nullptr, nullptr));
    QCOMPARE(owner, next.process().processId());
    QVERIFY(next.stop());
}

// Fifty programs started at the same moment: one stays (and listens), every
// other one hands over and ends.
void TestFaultsLocks::fiftySimultaneousStartsLeaveOne()
{
    const QString runtime = kyfault::freshRuntime(QStringLiteral("fifty"));
    std::vector<std::unique_ptr<kyfault::ProgramRun>> runs;
    for (int i = 0; i < 50; ++i)
        runs.push_back(std::make_unique<kyfault::ProgramRun>(runtime));

    QElapsedTimer clock;
    clock.start();
    auto running = [&runs]() {
        int count = 0;
        for (auto &run : runs)
            count += run->process().state() != QProcess::NotRunning ? 1 : 0;
        return count;
    };
    while (running() > 1 && clock.elapsed() < 180000)
        QTest::qWait(200);
    QCOMPARE(running(), 1);
    int survivor = -1;
    for (int i = 0; i < 50; ++i) {
        if (runs[size_t(i)]->process().state() != QProcess::NotRunning) {
            survivor = i;
            continue;
        }
        QProcess &ended = runs[size_t(i)]->process();
        // Handed over (0), or the busy first instance did not answer in time
        // (1); never a crash.
        QVERIFY2(ended.exitStatus() == QProcess::NormalExit && (ended.exitCode() == 0 || ended.exitCode() == 1),
                 qPrintable(QString::number(ended.exitCode())));
    }
    // The survivor stays the first instance and answers a later start.
    QTest::qWait(1000);
    QCOMPARE(runs[size_t(survivor)]->process().state(), QProcess::Running);
    kyfault::ProgramRun late(runtime);
    QVERIFY(late.process().waitForFinished(30000));
    QCOMPARE(late.process().exitCode(), 0);
    QVERIFY(runs[size_t(survivor)]->stop());
}

KY_TEST_GUILESS_MAIN(TestFaultsLocks)
#include "testfaultslocks.moc"
