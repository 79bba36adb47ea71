#include "common/kylockfile_p.h"

#include <QtGlobal>

// QLockFile on Windows writes %COMPUTERNAME% (the NetBIOS name, upper case),
// not the host name QSysInfo reports, which may differ in case and length.
QString lockFileHostName()
{
    return qEnvironmentVariable("COMPUTERNAME");
}
