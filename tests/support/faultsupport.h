#pragma once

// Shared by the fault suite: folders that stand in for shared ones, the real
// program run in a folder set of its own, and another account (user nobody,
// through foreignpeer.py) on the same machine.

#include "kytestenv.h"

#include "common/kyconstants.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <memory>

#include <unistd.h>

namespace kyfault {

constexpr uid_t kNobody = 65534;

// A new empty folder below the test root.
inline QString freshDir(const QString &name)
{
    static int count = 0;
    const QString dir = kytest::testRoot() + QStringLiteral("/%1-%2").arg(name).arg(++count);
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    return dir;
}

// A private runtime folder (mode 0700) of the test's own.
inline QString freshRuntime(const QString &name)
{
    const QString dir = freshDir(QStringLiteral("runtime-") + name);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return dir;
}

inline bool chownToNobody(const QString &path)
{
    return ::lchown(QFile::encodeName(path).constData(), kNobody, kNobody) == 0;
}

inline QString vuruv()
{
    return kytest::binDir() + QStringLiteral("/VURuv");
}

// VURuv started with its own runtime folder (and, when given, temporary
// folder); its standard error is kept. Ended (SIGTERM, then SIGKILL) when the
// object goes. With `shellFirst`, a shell runs those commands first and then
// becomes VURuv (exec), which keeps the shell's process id.
class ProgramRun
{
public:
    explicit ProgramRun(const QString &runtime, const QString &temp = QString(), const QString &shellFirst = QString())
        : m_runtime(runtime)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
        if (!temp.isEmpty())
            env.insert(QStringLiteral("TMPDIR"), temp);
        m_process.setProcessEnvironment(env);
        if (shellFirst.isEmpty())
            m_process.start(vuruv(), QStringList());
        else
            m_process.start(QStringLiteral("/bin/sh"),
                            {QStringLiteral("-c"), shellFirst + QStringLiteral("\nexec \"$0\""), vuruv()});
    }
    ~ProgramRun() { stop(); }
    ProgramRun(const ProgramRun &) = delete;
    ProgramRun &operator=(const ProgramRun &) = delete;

    QProcess &process() { return m_process; }

    QString socketPath() const { return m_runtime + QLatin1Char('/') + APP_ID + QStringLiteral(".socket"); }
    QString lockPath() const { return m_runtime + QLatin1Char('/') + APP_ID + QStringLiteral(".lock"); }

    // True once the program is the first instance and listens; false when
    // it ended first or did not get there within the time.
    bool waitUntilListening(int timeoutMs = 30000)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            if (m_process.state() == QProcess::NotRunning)
                return false;
            if (QFileInfo(socketPath()).exists() && QFileInfo(lockPath()).isFile()) {
                // The lock file is written before the socket; give the start
                // a moment to reach the event loop.
                QTest::qWait(200);
                return m_process.state() == QProcess::Running;
            }
            QTest::qWait(50);
        }
        return false;
    }

    // Ends the program the way a logout does; true when it ended by itself.
    bool stop()
    {
        if (m_process.state() == QProcess::NotRunning)
            return true;
        m_process.terminate();
        if (m_process.waitForFinished(20000))
            return m_process.exitStatus() == QProcess::NormalExit;
        m_process.kill();
        m_process.waitForFinished(10000);
        return false;
    }

    QString standardError()
    {
        m_stderr += QString::fromLocal8Bit(m_process.readAllStandardError());
        return m_stderr;
    }

private:
    QString m_runtime;
    QProcess m_process;
    QString m_stderr;
};

// foreignpeer.py, run as user nobody (needs root).
inline QString foreignPeerScript()
{
    return kytest::sourceDir() + QStringLiteral("/tests/support/foreignpeer.py");
}

// A server of another account listening at `path` (its folder is opened to
// every account); whatever it receives is logged to `log`, one hex line per
// read.
class ForeignServer
{
public:
    ForeignServer(const QString &path, const QString &log)
    {
        m_process.start(QStringLiteral("python3"), {foreignPeerScript(), QStringLiteral("serve"), path, log});
    }
    ~ForeignServer()
    {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
    ForeignServer(const ForeignServer &) = delete;
    ForeignServer &operator=(const ForeignServer &) = delete;

    bool waitUntilReady()
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 20000 && m_process.state() != QProcess::NotRunning) {
            if (m_process.canReadLine() || m_process.waitForReadyRead(100)) {
                if (m_process.readLine().trimmed() == "ready")
                    return true;
            }
        }
        return false;
    }

private:
    QProcess m_process;
};

// Connects to `path` as user nobody, sends `bytes` and returns what came back
// (hex); "cannot connect" when the connection was not made.
inline QString connectAsNobody(const QString &path, const QByteArray &bytes)
{
    QProcess process;
    process.start(QStringLiteral("python3"),
                  {foreignPeerScript(), QStringLiteral("connect"), path, QString::fromLatin1(bytes.toHex())});
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(5000);
        return QStringLiteral("timed out");
    }
    const QString out = QString::fromLatin1(process.readAllStandardOutput()).trimmed();
    return process.exitCode() == 3 ? QStringLiteral("cannot connect") : out;
}

} // namespace kyfault
