#include "common/kypaths_p.h"

#include <QStandardPaths>

QString roamingLocationForRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}
