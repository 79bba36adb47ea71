#include "common/kyprocesses.h"

#include "common/kypaths.h"
#include "platform/filebrowser.h"
#include "platform/processes.h"
#include "platform/shell.h"

#include <QDebug>

namespace {
void logSnapshotFailed()
{
    qDebug().noquote() << QStringLiteral("by tq CreateToolhelp32Snapshot调用失败!");
}
} // namespace

QStringList runningProcessNames()
{
    std::vector<std::string> names;
    if (!kyplatform::runningProcessNames(names)) {
        logSnapshotFailed();
        return QStringList();
    }
    QStringList result;
    result.reserve(int(names.size()));
    for (const std::string &name : names)
        result << QString::fromStdString(name);
    return result;
}

void terminateProcessesByName(const QString &name)
{
    if (!kyplatform::terminateProcessesByName(name.toStdString()))
        logSnapshotFailed();
}

int shellExecuteOpenHidden(const QString &file, const QString &parameters)
{
    return kyplatform::shellExecuteOpenHidden(file.toStdString(), parameters.toStdString());
}

bool openFolderInFileBrowser(const QString &folder)
{
    int error = 0;
    if (kyplatform::openFolderInFileBrowser(nativePath(folder).toStdString(), &error))
        return true;
    qWarning().noquote() << QStringLiteral("file browser not started (system error %1)").arg(error);
    return false;
}
