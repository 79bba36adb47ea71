// The single-instance channel of VURuv.exe: a lock file in the user's profile
// and a named pipe. Every instance here is a real VURuv.exe started from a
// copy of the folder a user gets; this test process holds no instance itself.
#include "kytestmain.h"

#include "app/kysingleapplication.h"
#include "common/kyconstants.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>

#include <memory>

#include <windows.h>

namespace {
const QString kDeployDir = QStringLiteral(KY_BINARY_DIR "/deploy");

// A started VURuv writes beside itself (module\version.ini, download\), and
// deploy/ is what the setup package is made from and checked against: the
// instances run from a copy of their own.
QString programDir()
{
    return kytest::testRoot() + QStringLiteral("/program");
}

bool copyProgramFolder()
{
    QDir(programDir()).removeRecursively();
    QDirIterator files(kDeployDir, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString from = files.next();
        const QString to = programDir() + from.mid(kDeployDir.size());
        if (!QDir().mkpath(QFileInfo(to).path()) || !QFile::copy(from, to))
            return false;
    }
    return QFile::exists(programDir() + QStringLiteral("/VURuv.exe"));
}

std::unique_ptr<QProcess> startVuruv()
{
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->setWorkingDirectory(programDir());
    process->start(programDir() + QStringLiteral("/VURuv.exe"), QStringList());
    return process;
}

int exitCode(QProcess *process, int timeoutMs)
{
    if (!process->waitForFinished(timeoutMs))
        return -1;
    return process->exitStatus() == QProcess::NormalExit ? process->exitCode() : -2;
}

// True once an instance answers on the pipe.
bool waitUntilListening()
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 30000) {
        QLocalSocket socket;
        socket.connectToServer(KySingleApplication::serverName(APP_ID));
        if (socket.waitForConnected(200))
            return true;
        QTest::qWait(100);
    }
    return false;
}

// Suspends or resumes every thread of a process: the Windows way to freeze
// one, as a hung program is frozen.
bool setSuspended(qint64 pid, bool suspended)
{
    using Call = LONG(NTAPI *)(HANDLE);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto call = reinterpret_cast<Call>(reinterpret_cast<void *>(
        GetProcAddress(ntdll, suspended ? "NtSuspendProcess" : "NtResumeProcess")));
    HANDLE process = OpenProcess(PROCESS_SUSPEND_RESUME, FALSE, DWORD(pid));
    if (!call || !process)
        return false;
    const bool ok = call(process) >= 0;
    CloseHandle(process);
    return ok;
}

void endProcess(QProcess *process)
{
    process->kill();
    process->waitForFinished(10000);
}

// VURuv.exe started with its first thread held, so that what it finds at
// start can be laid out once its process id is known.
struct SuspendedStart
{
    PROCESS_INFORMATION info = {};
    bool started = false;

    SuspendedStart()
    {
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        const std::wstring folder = QDir::toNativeSeparators(programDir()).toStdWString();
        std::wstring line = L"\"" + folder + L"\\VURuv.exe\"";
        started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, folder.c_str(),
                                 &startup, &info);
    }
    ~SuspendedStart()
    {
        if (!started)
            return;
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, 10000);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
    bool running() const { return WaitForSingleObject(info.hProcess, 0) == WAIT_TIMEOUT; }
};
} // namespace

class TestSingleInstanceWin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(copyProgramFolder(), qPrintable(kDeployDir));
    }

    void secondStartHandsOverAndExitsWithZero()
    {
        auto first = startVuruv();
        QVERIFY(waitUntilListening());
        auto second = startVuruv();
        QCOMPARE(exitCode(second.get(), 30000), 0);
        QCOMPARE(first->state(), QProcess::Running);
        endProcess(first.get());
    }

    // Guards against a second start that hangs, or starts a second program,
    // when the first one does not answer on its pipe.
    void frozenFirstInstanceMakesTheSecondExitWithOne()
    {
        auto first = startVuruv();
        QVERIFY(waitUntilListening());
        QVERIFY(setSuspended(first->processId(), true));

        QElapsedTimer clock;
        clock.start();
        auto second = startVuruv();
        QCOMPARE(exitCode(second.get(), 30000), 1);
        const qint64 waited = clock.elapsed();
        QVERIFY2(waited >= 4500, qPrintable(QString::number(waited)));

        QVERIFY(setSuspended(first->processId(), false));
        endProcess(first.get());
    }

    // TerminateProcess leaves the lock file behind; the next start must take
    // it over rather than believe an instance runs.
    void killedFirstInstanceDoesNotBlockTheNext()
    {
        auto first = startVuruv();
        QVERIFY(waitUntilListening());
        endProcess(first.get());
        QVERIFY(QFile::exists(KySingleApplication::lockFilePath(APP_ID)));

        auto next = startVuruv();
        QVERIFY(waitUntilListening());
        QCOMPARE(next->state(), QProcess::Running);
        auto third = startVuruv();
        QCOMPARE(exitCode(third.get(), 30000), 0);
        QCOMPARE(next->state(), QProcess::Running);
        endProcess(next.get());
    }

    // Under Wine the first VURuv.exe of a fresh session gets the same process
    // id every time, so after a crash the next start finds a lock naming its
    // own id. Before: it took itself for the running instance, waited 5 s
    // and exited 1, on every start until the lock was deleted by hand.
    void crashedInstancesIdGivenToTheNextStart()
    {
        const QString lock = KySingleApplication::lockFilePath(APP_ID);
        const QString record = lock + QStringLiteral(".owner");
        auto crashed = startVuruv();
        QVERIFY(waitUntilListening());
        endProcess(crashed.get());
        QFile lockFile(lock);
        QVERIFY(lockFile.open(QIODevice::ReadOnly));
        QList<QByteArray> lockLines = lockFile.readAll().split('\n');
        lockFile.close();
        QFile recordFile(record);
        QVERIFY(recordFile.open(QIODevice::ReadOnly));
        QList<QByteArray> recordWords = recordFile.readAll().trimmed().split(' ');
        recordFile.close();
        QCOMPARE(recordWords.size(), 2);

        SuspendedStart next;
        QVERIFY(next.started);
        const QByteArray id = QByteArray::number(qulonglong(next.info.dwProcessId));
        lockLines[0] = id;
        recordWords[0] = id;
        QVERIFY(lockFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
        lockFile.write(lockLines.join('\n'));
        lockFile.close();
        QVERIFY(recordFile.open(QIODevice::WriteOnly | QIODevice::Truncate));
        recordFile.write(recordWords.join(' ') + '\n');
        recordFile.close();
        ResumeThread(next.info.hThread);

        QVERIFY(waitUntilListening());
        QVERIFY(next.running());
        qint64 owner = 0;
        QVERIFY(QLockFile(lock).getLockInfo(&owner, nullptr, nullptr));
        QCOMPARE(owner, qint64(next.info.dwProcessId));
    }
};

KY_TEST_GUILESS_MAIN(TestSingleInstanceWin)
#include "testsingleinstance_win.moc"
