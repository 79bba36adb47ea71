#pragma once

// Helpers shared by the logic and wizard tests: the log capture, stand-in
// tool processes under chosen names, this run's processes, and the sandbox
// installers.

#include "kylogcapture.h"
#include "kytestenv.h"
#include "kytesttools.h"
#include "ownprocesses.h"

#include <QtTest>

namespace kytest {

inline QString sandboxInstaller(const QString &fileName)
{
    return sandboxDir() + QStringLiteral("/www/client_download/VURuv/files/InstallFile/") + fileName;
}

} // namespace kytest
