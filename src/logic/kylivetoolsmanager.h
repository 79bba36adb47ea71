#pragma once

#include "download/kyreplyguard.h"

#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>

class KyAppStatusMonitor;
class QNetworkAccessManager;
class QNetworkReply;

// One pending install or uninstall watch.
struct InstallTask
{
    QString name;        // tool name
    QString processName; // the installer's file name, or the uninstaller's process name
    QString handingOver; // an uninstall command's own program, until it has handed over to processName
    int elapsedMs = 0;   // time the process was seen (install only)
    int expectedMs = 1;  // expected duration of an install; 1 for an uninstall
    bool isUninstall = false;
};

// Works on the tools of the tool table (logic/kytoolfacts.h): tells where
// their installers come from (the web API's newer URL, else the table's),
// runs an installer or uninstaller silently and watches its process until it
// is gone, and starts an installed tool. Owns the status monitor, which
// answers whether a tool is installed or running.
//
// The three signals are emitted while the task lock is held; receivers
// connect through queued connections.
class KyLiveToolsManager : public QObject
{
    Q_OBJECT

public:
    KyLiveToolsManager();
    ~KyLiveToolsManager() override;

    // Registers every tool's programs with a new status monitor and asks the
    // web API for the current installer URLs. Called once, right after
    // construction.
    void initialize();

    KyAppStatusMonitor *appStatusMonitor() const;

    int toolStatus(QString name);
    bool isToolInstalled(QString name);
    bool launchTool(QString name);
    bool installTool(QString name, QString installerPath, QString installDir, int expectedMs);
    bool uninstallTool(QString name);
    bool isUninstalling(QString name);
    // Estimated percent of a pending install, -1 when none is pending.
    int installProgress(QString name);
    QString downloadUrl(QString name);

    // The web API's stall bound. Only tests shorten it; the program keeps
    // kRequestStallTimeoutMs.
    void setRequestStallTimeout(int ms) { m_requestStallTimeoutMs = ms; }

signals:
    void sglLiveToolInstallProgress(QString name, int progress);
    void sglLiveToolInstallFinished(QString name);
    void sglLiveToolUnInstallFinished(QString name);

protected:
    void timerEvent(QTimerEvent *event) override;

private slots:
    void sltNetwordAccessFinished(QNetworkReply *reply);

private:
    void requestDownloadUrls();
    void startWatch(const InstallTask &task);
    void watchTasks();

    KyAppStatusMonitor *m_monitor = nullptr;
    QList<InstallTask> m_tasks;
    QMutex m_taskLock;
    int m_timerId = -1;
    QNetworkAccessManager *m_network = nullptr;
    QMap<QString, QString> m_webApiUrls; // installer URLs the web API gave, by tool name
    QMutex m_urlLock;
    int m_requestStallTimeoutMs = kRequestStallTimeoutMs;
};
