// Taking over the lock files of the single instance and the RPC service:
// a live owner of this machine keeps its lock, an owner of another machine
// cannot be shown alive and loses it.
#include "kytestmain.h"
#include "kylogcapture.h"

#include "common/kylockfile.h"

#include <QFile>
#include <QLockFile>
#include <QTemporaryDir>

class TestLockFile : public QObject
{
    Q_OBJECT

private slots:
    // Guards against taking a live owner for one of another machine: QLockFile
    // names the machine as each system has it (%COMPUTERNAME% on Windows,
    // which need not be the host name), and a second start then spent seconds
    // on a lock it could never take, logging that its owner was gone.
    void liveOwnerOfThisMachineKeepsTheLock()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("owned.lock"));
        QLockFile owner(path);
        QVERIFY(owner.tryLock(0));

        kytest::LogCapture log;
        QLockFile second(path);
        QVERIFY(!tryLockRecovering(second, path));
        QCOMPARE(log.text(), QString());
        QVERIFY(owner.isLocked());
        QVERIFY(QFile::exists(path));
    }

    void lockOfAnotherMachineIsTakenOver()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("foreign.lock"));
        QFile foreign(path);
        QVERIFY(foreign.open(QIODevice::WriteOnly));
        foreign.write("4242\nVURuv\nsome-other-machine-name\n");
        foreign.close();

        kytest::LogCapture log;
        QLockFile lock(path);
        QVERIFY(tryLockRecovering(lock, path));
        QVERIFY(log.text().contains(QStringLiteral("another machine (\"some-other-machine-name\")")));
        qint64 pid = 0;
        QVERIFY(lock.getLockInfo(&pid, nullptr, nullptr));
        QCOMPARE(pid, QCoreApplication::applicationPid());
    }
};

KY_TEST_GUILESS_MAIN(TestLockFile)
#include "testlockfile.moc"
