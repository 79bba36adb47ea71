#include "kytesttools.h"

#include "common/kypaths.h"
#include "kytestenv_p.h"
#include "ownprocesses.h"
#include "platform/registry.h"

#include <QDeadlineTimer>
#include <QThread>

namespace kytest {

void removeInstalledTools(const QStringList &extraProcesses)
{
    QStringList processes{QStringLiteral("KYTool.exe"), QStringLiteral("kyShow.exe"), QStringLiteral("OBS.exe"),
                          QStringLiteral("obs32.exe"), QStringLiteral("obs64.exe")};
    processes += extraProcesses;
    endOwnProcesses(processes);
    QDir(downloadDir()).removeRecursively();
    QDir(appDir() + QStringLiteral("/tools")).removeRecursively();
    clearSystemStores();
}

bool installOutside(const QString &installerFile, const QString &installDir)
{
    static int s_count = 0;
    const QString dir = testRoot() + QStringLiteral("/outside-%1").arg(++s_count);
    QDir().mkpath(dir);
    const QString program = dir + QLatin1Char('/') + installerFile;
    if (!QFile::copy(sandboxDir() + QStringLiteral("/www/client_download/VURuv/files/InstallFile/") + installerFile, program))
        return false;
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess setup;
    setup.start(program, {QStringLiteral("/S"), QStringLiteral("/D=") + installDir});
    return setup.waitForFinished(30000) && setup.exitStatus() == QProcess::NormalExit && setup.exitCode() == 0;
}

bool uninstallOutside(const QString &tool, int timeoutMs)
{
    const std::string key = std::string(kyplatform::kUninstallKey) + "\\" + tool.toStdString();
    std::string command;
    if (!kyplatform::registryReadString(key, "UninstallString", command))
        return false;
    QProcess uninstaller;
    uninstaller.start(nativePath(QString::fromStdString(command)), {QStringLiteral("/S")});
    if (!uninstaller.waitForFinished(30000))
        return false;
    QDeadlineTimer deadline(timeoutMs);
    while (kyplatform::registryKeyExists(key)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

} // namespace kytest
