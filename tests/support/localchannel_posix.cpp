#include "localchannel.h"

#include <QFileInfo>

namespace kytest {

bool localChannelExists(const QString &name)
{
    return QFileInfo::exists(name);
}

bool localChannelIsPrivate(const QString &name, QString &problem)
{
    const QFileInfo socket(name);
    if (!socket.exists()) {
        problem = QStringLiteral("no socket file");
        return false;
    }
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
        | QFile::WriteOther | QFile::ExeOther;
    if (socket.permissions() & others) {
        problem = QStringLiteral("permissions 0x%1").arg(int(socket.permissions()), 0, 16);
        return false;
    }
    return true;
}

} // namespace kytest
