#include "common/kypaths.h"
#include "common/kypaths_p.h"

#include <QStandardPaths>

QString roamingLocationForRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QStringList runtimeDirCandidates()
{
    // Qt's runtime location on Windows is the root of the user's profile,
    // where nothing of a program's belongs. The local application-data
    // folder is per user and per machine, as the lock files are; the named
    // pipes beside them take their names from this folder.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::DataLocation);
    if (data.isEmpty())
        return {};
    return {rootOfLocation(data) + QStringLiteral("VURuv-runtime")};
}
