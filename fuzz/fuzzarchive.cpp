// The checks on the login component's archive, on bytes from the download
// server. Whatever passes them is unpacked the way the program unpacks it;
// nothing may land outside the unpack folder, and no link may be made.

#include "fuzzsupport.h"
#include "livecode/livecodemodulemanager.h"

#include <quazip/JlCompress.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

using kyfuzz::check;
using kyfuzz::fuzzTempDir;

std::unique_ptr<QTemporaryDir> &workDir()
{
    static std::unique_ptr<QTemporaryDir> dir;
    return dir;
}

QStringList entriesOf(const QString &folder)
{
    QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    entries.sort();
    return entries;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    workDir() = fuzzTempDir();
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The unpack folder sits two levels down, so that an entry climbing out
    // of it lands where it is seen.
    const QString root = workDir()->path();
    const QString archive = root + QStringLiteral("/a/LiveCodeModule.zip");
    const QString target = root + QStringLiteral("/a/b/module");
    QDir(root + QStringLiteral("/a")).removeRecursively();
    QDir().mkpath(target);
    {
        QFile file(archive);
        if (!file.open(QIODevice::WriteOnly))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }

    if (LiveCodeModuleManager::isArchiveSafe(archive)) {
        const QString canonicalTarget = QFileInfo(target).canonicalFilePath() + QLatin1Char('/');
        const QStringList unpacked = JlCompress::extractDir(archive, target);
        for (const QString &path : unpacked) {
            const QFileInfo info(path);
            check(!info.isSymLink());
            check(info.canonicalFilePath().startsWith(canonicalTarget)
                  || info.absoluteFilePath().startsWith(canonicalTarget));
        }
        QDirIterator walk(target, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                          QDirIterator::Subdirectories);
        while (walk.hasNext()) {
            walk.next();
            check(!walk.fileInfo().isSymLink());
            check(walk.fileInfo().isDir() || walk.fileInfo().isFile());
        }
    }
    check(entriesOf(root) == QStringList{QStringLiteral("a")});
    check(entriesOf(root + QStringLiteral("/a")) == QStringList({QStringLiteral("LiveCodeModule.zip"), QStringLiteral("b")}));
    check(entriesOf(root + QStringLiteral("/a/b")) == QStringList{QStringLiteral("module")});
    return 0;
}
