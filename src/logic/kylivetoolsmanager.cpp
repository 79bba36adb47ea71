#include "logic/kylivetoolsmanager.h"

#include "common/kyconstants.h"
#include "common/kystartuptrace.h"
#include "common/kyhosts.h"
#include "common/kypaths.h"
#include "common/kyprocesses.h"
#include "logic/kyappstatusmonitor.h"
#include "logic/kytoolfacts.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimerEvent>
#include <QUrl>

namespace {
const int kWatchTickMs = 200;

// Shell-execute results above this value mean the program started.
const int kShellExecuteSuccessAbove = 32;

// The text after the last backslash, else after the last slash.
QString fileNameOf(const QString &path)
{
    int cut = path.lastIndexOf(QLatin1Char('\\'));
    if (cut < 0)
        cut = path.lastIndexOf(QLatin1Char('/'));
    return path.mid(cut + 1);
}

// Reads the tool's installer object of the web API's data.
QString installerUrlFrom(const QJsonObject &data, const ToolFacts &tool)
{
    const QJsonValue info = data.value(tool.webApiObject);
    if (!info.isObject()) {
        qWarning().noquote().nospace() << "by tq get " << tool.key << " info failed";
        return QString();
    }
    const QJsonValue url = info.toObject().value(QStringLiteral("down_url"));
    if (!url.isString()) {
        qWarning().noquote().nospace() << "by tq get " << tool.key << " download url failed";
        return QString();
    }
    qInfo().noquote().nospace() << "by tq get " << tool.key << " download url success : " << url.toString();
    return url.toString();
}
} // namespace

KyLiveToolsManager::KyLiveToolsManager() = default;

KyLiveToolsManager::~KyLiveToolsManager()
{
    delete m_monitor;
    m_monitor = nullptr;
    QMutexLocker locker(&m_taskLock);
    m_tasks.clear();
    if (m_timerId != -1) {
        killTimer(m_timerId);
        m_timerId = -1;
    }
}

void KyLiveToolsManager::initialize()
{
    if (!m_monitor)
        m_monitor = new KyAppStatusMonitor;
    QList<QPair<QString, QList<ToolExe>>> apps;
    for (const ToolFacts &tool : toolTable())
        apps.append(qMakePair(tool.name, tool.programs));
    m_monitor->addApps(apps);
    kyStartupMark("tools manager: tools registered with the status monitor");

    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
        connect(m_network, &QNetworkAccessManager::finished, this, &KyLiveToolsManager::sltNetwordAccessFinished);
    }
    requestDownloadUrls();
}

KyAppStatusMonitor *KyLiveToolsManager::appStatusMonitor() const
{
    return m_monitor;
}

int KyLiveToolsManager::toolStatus(QString name)
{
    return m_monitor ? m_monitor->toolStatus(name) : int(APP_NOT_INSTALLED);
}

bool KyLiveToolsManager::isToolInstalled(QString name)
{
    return m_monitor && m_monitor->isToolInstalled(name);
}

bool KyLiveToolsManager::launchTool(QString name)
{
    const QString path = m_monitor ? m_monitor->exePath(name) : QString();
    // The tool runs from its own folder and outlives this program.
    const bool started = startDetachedInOwnDir(path, QStringList());
    if (!started)
        qWarning().noquote().nospace() << "by tq launch " << name << " failed , path : " << path;
    return started;
}

bool KyLiveToolsManager::installTool(QString name, QString installerPath, QString installDir, int expectedMs)
{
    {
        QMutexLocker locker(&m_taskLock);
        for (const InstallTask &task : qAsConst(m_tasks)) {
            if (task.name == name)
                return true;
        }
    }

    // The installer takes the folder as the rest of its command line after
    // "/D=", unquoted, in Windows form.
    QString dir = installDir;
    dir.replace(QLatin1Char('/'), QLatin1Char('\\'));
    const QString parameters = QStringLiteral("/S /D=") + dir;
    const int result = shellExecuteOpenHidden(installerPath, parameters);
    if (result <= kShellExecuteSuccessAbove) {
        qWarning().noquote().nospace() << "by tq open " << name << " install failed,err code : " << result;
        return false;
    }

    InstallTask task;
    task.name = name;
    task.processName = fileNameOf(installerPath);
    task.expectedMs = expectedMs;
    task.isUninstall = false;
    startWatch(task);
    return true;
}

bool KyLiveToolsManager::uninstallTool(QString name)
{
    if (!m_monitor)
        return false;
    const QString command = m_monitor->uninstallCommand(name);
    if (command.isEmpty())
        return false;

    // A quoted uninstaller path is run without its quotes; anything after
    // the closing quote stays an argument, before "/S".
    const QString program = KyAppStatusMonitor::uninstallProgram(command);
    const QString arguments = KyAppStatusMonitor::uninstallArguments(command);
    const QString parameters = arguments.isEmpty() ? QStringLiteral("/S") : arguments + QStringLiteral(" /S");
    const int result = shellExecuteOpenHidden(program, parameters);
    if (result <= kShellExecuteSuccessAbove) {
        qWarning().noquote().nospace() << "by tq open " << name << " uninst failed,err code : " << result;
        return false;
    }

    InstallTask task;
    task.name = name;
    task.processName = m_monitor->uninstallerProcess(name);
    task.handingOver = fileNameOf(program);
    task.expectedMs = 1;
    task.isUninstall = true;
    startWatch(task);
    return true;
}

void KyLiveToolsManager::startWatch(const InstallTask &task)
{
    QMutexLocker locker(&m_taskLock);
    m_tasks.append(task);
    if (m_timerId == -1)
        m_timerId = startTimer(kWatchTickMs, Qt::CoarseTimer);
}

bool KyLiveToolsManager::isUninstalling(QString name)
{
    QMutexLocker locker(&m_taskLock);
    for (const InstallTask &task : qAsConst(m_tasks)) {
        if (task.name == name && task.isUninstall)
            return true;
    }
    return false;
}

int KyLiveToolsManager::installProgress(QString name)
{
    QMutexLocker locker(&m_taskLock);
    for (const InstallTask &task : qAsConst(m_tasks)) {
        if (task.name == name && !task.isUninstall)
            return qMin(100, task.elapsedMs * 100 / qMax(1, task.expectedMs));
    }
    return -1;
}

void KyLiveToolsManager::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_timerId)
        watchTasks();
    else
        QObject::timerEvent(event);
}

// A task goes on while its process runs and is complete at the first tick
// on which the process is gone. An uninstall command's program first copies
// itself out of the folder it removes and starts the copy under the
// uninstaller's process name: until it has done so the uninstall has not
// even begun, so the task also goes on while that program runs. The signals
// are emitted with the task lock held; the hub receives them queued.
void KyLiveToolsManager::watchTasks()
{
    QMutexLocker locker(&m_taskLock);
    const QStringList running = runningProcessNames();
    for (auto it = m_tasks.begin(); it != m_tasks.end();) {
        if (running.contains(it->processName, Qt::CaseSensitive)
            || (!it->handingOver.isEmpty() && running.contains(it->handingOver, Qt::CaseSensitive))) {
            if (!it->isUninstall) {
                it->elapsedMs += kWatchTickMs;
                const int progress = qMin(100, it->elapsedMs * 100 / qMax(1, it->expectedMs));
                emit sglLiveToolInstallProgress(it->name, progress);
            }
            ++it;
            continue;
        }
        const QString name = it->name;
        const bool uninstall = it->isUninstall;
        it = m_tasks.erase(it);
        if (uninstall) {
            emit sglLiveToolUnInstallFinished(name);
        } else {
            emit sglLiveToolInstallProgress(name, 100);
            emit sglLiveToolInstallFinished(name);
        }
    }
    if (m_tasks.isEmpty() && m_timerId != -1) {
        killTimer(m_timerId);
        m_timerId = -1;
    }
}

void KyLiveToolsManager::requestDownloadUrls()
{
    if (!m_network)
        return;
    const QString url = webApiUrl(QStringLiteral("/api/v1/get_zbpc_client?appid=zbpc&token=7D3E91A05C2B48F6E1D07A9C3B5F2E84"));
    // Read whole when it finishes: bounded in size and in stall time.
    guardReply(m_network->get(QNetworkRequest(QUrl(url))), kWebApiReplyMaxBytes, m_requestStallTimeoutMs, "web API");
}

void KyLiveToolsManager::sltNetwordAccessFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError) {
        qWarning().noquote() << "by tq obtain download url info failed";
        return;
    }
    const QString text = QString::fromUtf8(reply->readAll());
    if (text.isEmpty()) {
        qWarning().noquote() << "by tq get pc client info is null";
        return;
    }
    const QJsonObject answer = QJsonDocument::fromJson(text.toUtf8()).object();
    const int error = answer.value(QStringLiteral("error")).toInt(0);
    if (error != 0) {
        qWarning().noquote().nospace() << "by tq get download url failed ,err code : " << error;
        return;
    }
    const QJsonValue data = answer.value(QStringLiteral("data"));
    if (!data.isObject()) {
        qWarning().noquote() << "by tq get download data is null ";
        return;
    }
    QMap<QString, QString> urls;
    for (const ToolFacts &tool : toolTable()) {
        if (!tool.webApiObject.isEmpty())
            urls.insert(tool.name, installerUrlFrom(data.toObject(), tool));
    }

    QMutexLocker locker(&m_urlLock);
    for (auto it = urls.constBegin(); it != urls.constEnd(); ++it) {
        if (!it.value().isEmpty())
            m_webApiUrls.insert(it.key(), it.value());
    }
}

QString KyLiveToolsManager::downloadUrl(QString name)
{
    // Each call asks again; the answer only serves later calls.
    requestDownloadUrls();
    QMutexLocker locker(&m_urlLock);
    const QString fromWebApi = m_webApiUrls.value(name);
    return fromWebApi.isEmpty() ? defaultInstallerUrl(name) : fromWebApi;
}
