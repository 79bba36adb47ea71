#include "common/kypaths_p.h"

#include <QStandardPaths>

QString roamingLocationForRoot()
{
    // rootOfLocation keeps everything up to the last "/", so the trailing
    // slash makes the configuration folder itself the root.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QLatin1Char('/');
}
