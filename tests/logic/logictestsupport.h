#pragma once

// Helpers shared by the logic tests: the log capture, stand-in tool
// processes under chosen names, and the sandbox installers.

#include "kylogcapture.h"
#include "kytestenv.h"
#include "kytesttools.h"
#include "common/kyprocesses.h"

#include <QtTest>

namespace kytest {

inline QString sandboxInstaller(const QString &fileName)
{
    return sandboxDir() + QStringLiteral("/www/client_download/VURuv/files/InstallFile/") + fileName;
}

// Whether a process of that name runs.
inline bool isRunning(const QString &processName)
{
    return runningProcessNames().contains(processName);
}

} // namespace kytest
