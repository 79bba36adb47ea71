#include "logic/kyappstatusmonitor.h"

#include "common/kypaths.h"
#include "common/kyprocesses.h"
#include "platform/registry.h"

#include <QDebug>
#include <QMutexLocker>
#include <QTimerEvent>

#include <string>
#include <vector>

namespace {
const int kTickMs = 500;

// Registry values are read into 1024-byte buffers of UTF-16, so longer values
// come back cut to 511 characters.
const int kMaxValueChars = 511;
// Longer subkey names cannot be enumerated.
const int kMaxSubkeyChars = 1024;

QString readValue(const std::string &key, const char *valueName)
{
    std::string value;
    if (!kyplatform::registryReadString(key, valueName, value))
        return QString();
    return QString::fromStdString(value).left(kMaxValueChars);
}
} // namespace

KyAppStatusMonitor::KyAppStatusMonitor()
{
    m_timerId = startTimer(kTickMs, Qt::CoarseTimer);
}

KyAppStatusMonitor::~KyAppStatusMonitor()
{
    if (m_timerId != -1)
        killTimer(m_timerId);
    m_timerId = -1;
    QMutexLocker locker(&m_lock);
    m_apps.clear();
}

void KyAppStatusMonitor::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_timerId)
        tick();
    else
        QObject::timerEvent(event);
}

void KyAppStatusMonitor::addApp(QString name, QList<ToolExe> exes)
{
    addApps({qMakePair(name, exes)});
}

void KyAppStatusMonitor::addApps(const QList<QPair<QString, QList<ToolExe>>> &apps)
{
    QMutexLocker locker(&m_lock);
    bool added = false;
    for (const auto &app : apps) {
        if (m_apps.contains(app.first))
            continue;
        AppEntry entry;
        entry.exes = app.second;
        m_apps.insert(app.first, entry);
        added = true;
    }
    if (!added)
        return;
    markRunning();
    scanRegistry();
}

int KyAppStatusMonitor::toolStatus(QString name)
{
    rescan();
    poll();
    QMutexLocker locker(&m_lock);
    const auto it = m_apps.constFind(name);
    return it == m_apps.constEnd() ? APP_NOT_INSTALLED : it->status;
}

bool KyAppStatusMonitor::isToolInstalled(QString name)
{
    rescan();
    QMutexLocker locker(&m_lock);
    const auto it = m_apps.constFind(name);
    return it != m_apps.constEnd() && it->status != APP_NOT_INSTALLED && !it->uninstallCommand.isEmpty();
}

QString KyAppStatusMonitor::exePath(QString name)
{
    QMutexLocker locker(&m_lock);
    const auto it = m_apps.constFind(name);
    if (it == m_apps.constEnd() || it->status == APP_NOT_INSTALLED)
        return QString();
    return it->exePath;
}

QString KyAppStatusMonitor::uninstallCommand(QString name)
{
    rescan();
    QMutexLocker locker(&m_lock);
    return m_apps.value(name).uninstallCommand;
}

QString KyAppStatusMonitor::uninstallerProcess(QString name)
{
    QMutexLocker locker(&m_lock);
    const auto it = m_apps.constFind(name);
    if (it == m_apps.constEnd() || it->exes.isEmpty())
        return QString();
    return it->exes.first().uninstallerProcess;
}

void KyAppStatusMonitor::tick()
{
    // Without a change nothing is read: the tick costs one process snapshot.
    if (m_uninstallWatch.changed())
        rescan();
    poll();
}

void KyAppStatusMonitor::poll()
{
    QMutexLocker locker(&m_lock);
    if (m_apps.isEmpty())
        return;
    for (AppEntry &entry : m_apps)
        entry.status = entry.exePath.isEmpty() ? APP_NOT_INSTALLED : APP_INSTALLED;
    markRunning();
    // Emitted under the lock, for every tool on every tick, changed or not.
    for (auto it = m_apps.constBegin(); it != m_apps.constEnd(); ++it)
        emit sglUpdateAppStatus(it.key(), it->status);
}

void KyAppStatusMonitor::rescan()
{
    QMutexLocker locker(&m_lock);
    if (m_apps.isEmpty())
        return;
    for (AppEntry &entry : m_apps) {
        entry.status = APP_NOT_INSTALLED;
        entry.exePath.clear();
        entry.uninstallCommand.clear();
    }
    scanRegistry();
}

// Called with the lock held.
void KyAppStatusMonitor::markRunning()
{
    const QStringList running = runningProcessNames();
    for (AppEntry &entry : m_apps) {
        for (const ToolExe &exe : qAsConst(entry.exes)) {
            if (running.contains(exe.processName, Qt::CaseSensitive)) {
                entry.status = APP_RUNNING;
                break;
            }
        }
    }
}

QString KyAppStatusMonitor::uninstallProgram(const QString &command)
{
    if (command.startsWith(QLatin1Char('"'))) {
        const int close = command.indexOf(QLatin1Char('"'), 1);
        if (close > 0)
            return command.mid(1, close - 1);
    }
    return command;
}

QString KyAppStatusMonitor::uninstallArguments(const QString &command)
{
    if (command.startsWith(QLatin1Char('"'))) {
        const int close = command.indexOf(QLatin1Char('"'), 1);
        if (close > 0)
            return command.mid(close + 1).trimmed();
    }
    return QString();
}

// Called with the lock held. An entry counts only when both its subkey name
// and its "DisplayName" are tool names; the first existing candidate wins.
void KyAppStatusMonitor::scanRegistry()
{
    const std::string uninstallKey = kyplatform::kUninstallKey;
    std::vector<std::string> subkeys;
    if (!kyplatform::registrySubkeys(uninstallKey, subkeys)) {
        qDebug().noquote() << "by tq open regedit failed";
        return;
    }
    for (const std::string &subkey : subkeys) {
        const QString subkeyName = QString::fromStdString(subkey);
        if (subkeyName.size() > kMaxSubkeyChars || !m_apps.contains(subkeyName))
            continue;
        const std::string key = uninstallKey + "\\" + subkey;
        if (!kyplatform::registryKeyExists(key))
            continue;
        const QString displayName = readValue(key, "DisplayName");
        const QString uninstallString = readValue(key, "UninstallString");
        auto it = m_apps.find(displayName);
        if (it == m_apps.end())
            continue;
        AppEntry &entry = *it;

        // Installers commonly quote the uninstaller's path; the folder is
        // taken from the path inside the quotes.
        const QString program = uninstallProgram(uninstallString);
        if (!program.isEmpty() && program.contains(QLatin1Char('\\'))) {
            const QString installDir = program.left(program.lastIndexOf(QLatin1Char('\\')) + 1);
            for (const ToolExe &exe : qAsConst(entry.exes)) {
                const QString candidate = exe.absolute ? exe.path : installDir + exe.path;
                if (dirExists(candidate)) {
                    entry.exePath = candidate;
                    break;
                }
            }
        }
        if (entry.status == APP_NOT_INSTALLED && !entry.exePath.isEmpty()) {
            entry.status = APP_INSTALLED;
            entry.uninstallCommand = uninstallString;
        }
    }
}
