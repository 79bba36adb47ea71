#include "common/kylockfile_p.h"

#include <QSysInfo>

QString lockFileHostName()
{
    return QSysInfo::machineHostName();
}
