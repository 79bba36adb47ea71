#pragma once

// Helpers shared by the logic tests: a log recorder, stand-in tool processes
// under chosen names, and the sandbox installers.

#include "kytestenv.h"
#include "common/kyprocesses.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QStringList>
#include <QtTest>

#include <memory>

namespace kytest {

// Records every log message while it exists (and passes it on).
class LogRecorder
{
public:
    LogRecorder() { s_current = this; s_previous = qInstallMessageHandler(&LogRecorder::handler); }
    ~LogRecorder() { qInstallMessageHandler(s_previous); s_current = nullptr; }

    bool contains(const QString &text) const
    {
        QMutexLocker locker(&m_mutex);
        return m_lines.contains(text);
    }
    int count(const QString &text) const
    {
        QMutexLocker locker(&m_mutex);
        return m_lines.count(text);
    }
    QStringList lines() const
    {
        QMutexLocker locker(&m_mutex);
        return m_lines;
    }
    void clear()
    {
        QMutexLocker locker(&m_mutex);
        m_lines.clear();
    }

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
    {
        if (s_current) {
            QMutexLocker locker(&s_current->m_mutex);
            s_current->m_lines << message;
        }
        if (s_previous)
            s_previous(type, context, message);
    }

    mutable QMutex m_mutex;
    QStringList m_lines;
    static inline LogRecorder *s_current = nullptr;
    static inline QtMessageHandler s_previous = nullptr;
};

inline QString sandboxToolProgram()
{
    return sandboxDir() + QStringLiteral("/bin/kyoro-sandbox-tool");
}

inline QString sandboxInstaller(const QString &fileName)
{
    return sandboxDir() + QStringLiteral("/www/client_download/VURuv/files/InstallFile/") + fileName;
}

// A copy of the stand-in tool running under `processName` until the object
// goes away.
class ToolProcess
{
public:
    explicit ToolProcess(const QString &processName)
    {
        const QString dir = testRoot() + QStringLiteral("/running-%1").arg(++s_count);
        QDir().mkpath(dir);
        m_program = dir + QLatin1Char('/') + processName;
        QFile::copy(sandboxToolProgram(), m_program);
        QFile::setPermissions(m_program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_process.start(m_program, QStringList());
    }
    ~ToolProcess()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    bool started() { return m_process.waitForStarted(5000); }

private:
    QString m_program;
    QProcess m_process;
    static inline int s_count = 0;
};

// Whether a process of that name runs.
inline bool isRunning(const QString &processName)
{
    return runningProcessNames().contains(processName);
}

} // namespace kytest
