#pragma once

// Stand-in tools for the tests: a copy of the sandbox tool running under a
// chosen process name, and a reset of everything installs leave behind.

#include "kytestenv.h"

#include <QDir>
#include <QFile>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QUrl>

namespace kytest {

inline QString sandboxToolProgram()
{
    return programFile(sandboxDir() + QStringLiteral("/bin/kyoro-sandbox-tool"));
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
        const QString program = dir + QLatin1Char('/') + processName;
        QFile::copy(sandboxToolProgram(), program);
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        m_process.start(program, QStringList());
    }
    ~ToolProcess()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    ToolProcess(const ToolProcess &) = delete;
    ToolProcess &operator=(const ToolProcess &) = delete;

    bool started() { return m_process.waitForStarted(5000); }
    QProcess &process() { return m_process; }

private:
    QProcess m_process;
    static inline int s_count = 0;
};

// Ends this run's stand-in tools and the given extra processes (by id, see
// ownprocesses.h), removes the uninstall entries the test's installs and the
// test itself wrote, and what downloads and installs left in the program and
// drive folders: the account then has no tool installed.
void removeInstalledTools(const QStringList &extraProcesses = {});

// A tool's setup run outside the program, as a streamer runs one: the sandbox
// installer under its served name, "/S /D=installDir", until it ends (it
// takes KYORO_SANDBOX_INSTALL_MS of this process). True when it succeeded.
bool installOutside(const QString &installerFile, const QString &installDir);

// The uninstall command of the tool's entry run with "/S" outside the
// program, as the system's list of programs does; waits until the entry is
// gone. True when it went.
bool uninstallOutside(const QString &tool, int timeoutMs = 20000);

// Catches what the program hands to the desktop's URL opener, for use with
// QDesktopServices::setUrlHandler(scheme, &catcher, "open").
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

} // namespace kytest
