#include "common/kypaths_p.h"

#include <QDir>
#include <QStandardPaths>

QString roamingLocationForRoot()
{
    // rootOfLocation keeps everything up to the last "/", so the trailing
    // slash makes the configuration folder itself the root.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/');
}

QStringList runtimeDirCandidates()
{
    QStringList candidates;
    // Qt answers "" for a $XDG_RUNTIME_DIR it refuses, or makes a folder of
    // its own in the temporary folder, which other accounts share: neither is
    // taken.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString shared = QDir::tempPath() + QLatin1Char('/');
    if (!runtime.isEmpty() && !runtime.startsWith(shared))
        candidates << runtime;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty()) {
        QDir().mkpath(cache);
        candidates << cache + QStringLiteral("/VURuv-runtime");
    }
    return candidates;
}
