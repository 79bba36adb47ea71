#include "kytesttools.h"

#include "common/kypaths.h"
#include "kytestenv_p.h"
#include "ownprocesses.h"

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

} // namespace kytest
