#include "kytesttools.h"

#include "common/kypaths.h"
#include "ownprocesses.h"
#include "platform/registry.h"

namespace kytest {

void removeInstalledTools(const QStringList &extraProcesses)
{
    QStringList processes{QStringLiteral("KYTool.exe"), QStringLiteral("kyShow.exe"), QStringLiteral("OBS.exe"),
                          QStringLiteral("obs32.exe"), QStringLiteral("obs64.exe")};
    processes += extraProcesses;
    endOwnProcesses(processes);
    kyplatform::registryDeleteTree(kyplatform::kUninstallKey);
    kyplatform::registryCreateKey(kyplatform::kUninstallKey);
    QDir(downloadDir()).removeRecursively();
    QDir(appDir() + QStringLiteral("/tools")).removeRecursively();
    QDir(drivesDir()).removeRecursively();
}

} // namespace kytest
