#pragma once

#include "common/kyconstants.h"
#include "logic/kytoolfacts.h"
#include "platform/registry.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>

struct AppEntry
{
    int status = APP_NOT_INSTALLED; // an AppStatus
    QString exePath;                // resolved program file, "" when not installed
    QString uninstallCommand;       // the entry's "UninstallString", "" when not installed
    QList<ToolExe> exes;            // candidates in registration order
};

// Decides for each registered tool whether it is installed (an uninstall
// entry named after it whose folder holds one of its program files) and
// whether it runs (a process with one of its process names), and broadcasts
// every tool's status each 500 ms.
//
// sglUpdateAppStatus is emitted with the lock held: a slot connected directly
// must not call toolStatus, isToolInstalled, uninstallCommand, exePath,
// uninstallerProcess or addApp; it posts such work to the event loop.
class KyAppStatusMonitor : public QObject
{
    Q_OBJECT

public:
    KyAppStatusMonitor();
    ~KyAppStatusMonitor() override;

    void addApp(QString name, QList<ToolExe> exes);
    // addApp for several tools with one process listing and one registry
    // scan for all of them.
    void addApps(const QList<QPair<QString, QList<ToolExe>>> &apps);
    // Re-reads the registry, polls (emitting for every tool), then answers.
    int toolStatus(QString name);
    bool isToolInstalled(QString name);
    QString exePath(QString name);
    QString uninstallCommand(QString name);
    QString uninstallerProcess(QString name);

    // What the 500 ms timer runs: re-reads the uninstall entries when they
    // changed since the last tick (a tool's own setup or uninstaller, run
    // outside the program), then polls.
    void tick();
    void poll();
    void rescan();

    // The program path of an "UninstallString": the text inside a leading
    // pair of quotes when it is quoted, else the whole value.
    static QString uninstallProgram(const QString &command);
    // What follows the closing quote of a quoted "UninstallString", trimmed;
    // "" for an unquoted value.
    static QString uninstallArguments(const QString &command);

signals:
    void sglUpdateAppStatus(QString name, int status);

protected:
    void timerEvent(QTimerEvent *event) override;

private:
    void markRunning();
    void scanRegistry();

    QMap<QString, AppEntry> m_apps;
    QMutex m_lock;
    int m_timerId = -1;
    // Used by tick() only, on the GUI thread.
    kyplatform::RegistryWatch m_uninstallWatch{kyplatform::kUninstallKey};
};
