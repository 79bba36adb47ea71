#include "livecode/livecodemodulemanager.h"

#include "common/kyconstants.h"
#include "common/kyhosts.h"
#include "common/kypaths.h"
#include "common/kyprocesses.h"
#include "common/kytexts.h"
#include "livecode/livemgrservice.h"
#include "download/kyfiledownloadermgr.h"

#include <quazip/JlCompress.h>
#include <quazip/quazip.h>
#include <quazip/quazipfileinfo.h>

#include <QBuffer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSettings>
#include <QUrl>

#include <limits>

Q_LOGGING_CATEGORY(lcLiveCode, "kyoro.livecode")

namespace {

const QString kComponentExe = QStringLiteral("LiveCodeModule.exe");
const QString kComponentFolder = QStringLiteral("LiveCodeModule/");
const QString kLaunchSwitch = QStringLiteral("-KYLiveMgr");
const QString kVersionFileLocation = QStringLiteral("/client_download/VURuv/files/ModuleDownload/version.ini");

// Type bits of a Unix mode kept in the upper half of an entry's external
// attributes; archives made elsewhere leave them 0.
constexpr quint32 kUnixTypeMask = 0170000;
constexpr quint32 kUnixRegularFile = 0100000;
constexpr quint32 kUnixFolder = 0040000;

int readVersion(const QString &iniPath, const QString &settingKey)
{
    if (iniPath.isEmpty())
        return -1;
    // The version file and the module list are a few lines; anything larger
    // is not one, and is not parsed on the GUI thread at every launch.
    if (QFileInfo(nativePath(iniPath)).size() > kVersionFileMaxBytes)
        return -1;
    const QSettings settings(nativePath(iniPath), QSettings::IniFormat);
    bool ok = false;
    const int version = settings.value(settingKey).toInt(&ok);
    return ok ? version : -1;
}

// Why `name` may not be unpacked below the module folder; "" when it may.
QString entryNameProblem(const QString &name)
{
    if (name.contains(QLatin1Char('\\')))
        return QStringLiteral("backslash");
    // Covers drive paths ("C:...") and, on Windows, alternate data streams.
    if (name.contains(QLatin1Char(':')))
        return QStringLiteral("colon or drive");
    if (name.startsWith(QLatin1Char('/')))
        return QStringLiteral("absolute path");
    if (!name.startsWith(kComponentFolder))
        return QStringLiteral("outside the component folder");
    const QStringList parts = name.split(QLatin1Char('/'));
    if (parts.contains(QStringLiteral("..")))
        return QStringLiteral("parent folder reference");
    return QString();
}

void removeContents(const QString &folder);

// A link (or, on Windows, a junction) is removed as itself: module\ may be
// written by every account there, and whatever a link leads to is not ours.
bool isLink(const QFileInfo &info)
{
    return info.isSymLink() || info.isJunction();
}

void removeLink(const QString &path)
{
    // A link to a folder is a folder entry on Windows.
    if (!QFile::remove(path))
        QDir().rmdir(path);
}

// Removes a folder with everything in it; a link in its place goes alone.
void removeTree(const QString &folder)
{
    if (isLink(QFileInfo(folder))) {
        removeLink(folder);
        return;
    }
    if (!QFileInfo(folder).isDir())
        return;
    removeContents(folder);
    QDir().rmdir(folder);
}

// Hidden and system entries too: left behind, they would keep the component
// folder alive and mix the old component's files with the next one's.
const QDir::Filters kEveryEntry = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;

// Removes everything below `folder`; links are removed, never followed.
void removeContents(const QString &folder)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(kEveryEntry);
    for (const QFileInfo &entry : entries) {
        const QString path = entry.absoluteFilePath();
        if (isLink(entry)) {
            removeLink(path);
        } else if (entry.isDir()) {
            removeContents(path);
            QDir().rmdir(path);
        } else {
            QFile::remove(path);
        }
    }
}

} // namespace

const quint64 LiveCodeModuleManager::kMaxUnpackedBytes = quint64(1) << 30;
const int LiveCodeModuleManager::kMaxEntries = 10000;

LiveCodeModuleManager::LiveCodeModuleManager()
    : m_service(new LiveMgrService)
{
    // Listening before any component can be started.
    m_service->start();
}

LiveCodeModuleManager::~LiveCodeModuleManager()
{
    // Stops the RPC service.
    delete m_service;
    m_service = nullptr;
}

LiveMgrService *LiveCodeModuleManager::service() const
{
    return m_service;
}

void LiveCodeModuleManager::requestVersionFile(KyFileDownloaderMgr *downloaderMgr)
{
    const QString url = downloadServerUrl(kVersionFileLocation);
    const QString folder = moduleDir();
    m_versionFilePath = folder + QLatin1Char('/') + QUrl(url).fileName();
    // Forced, so an earlier copy is always fetched again; when the download
    // fails the earlier copy stays in use. A small request: a short stall
    // bound and a cap on its size.
    KyDownloadLimits limits;
    limits.stallTimeoutMs = kRequestStallTimeoutMs;
    limits.maxBytes = kVersionFileMaxBytes;
    if (downloaderMgr)
        downloaderMgr->startDownload(DOWNLOAD_NAME_MODULE_VERSION, url, folder, true, limits);
}

bool LiveCodeModuleManager::isInstalled() const
{
    return dirExists(liveCodeModuleExePath());
}

int LiveCodeModuleManager::remoteVersion(const QString &key) const
{
    return readVersion(m_versionFilePath, QStringLiteral("update/") + key);
}

int LiveCodeModuleManager::localVersion(const QString &key) const
{
    return readVersion(moduleListFilePath(), key + QStringLiteral("/version"));
}

bool LiveCodeModuleManager::needsUpdate(const QString &key) const
{
    return localVersion(key) < remoteVersion(key);
}

int LiveCodeModuleManager::launch()
{
    if (!isInstalled())
        return LAUNCH_NOT_INSTALLED;
    if (needsUpdate(LIVE_CODE_MODULE_NAME))
        return LAUNCH_UPDATE_NEEDED;
    if (!startDetachedInOwnDir(liveCodeModuleExePath(), {kLaunchSwitch})) {
        qWarning().noquote() << QStringLiteral("by tq launch liveCodeModule failed");
        return LAUNCH_START_FAILED;
    }
    return LAUNCH_OK;
}

bool LiveCodeModuleManager::isComponentRunning() const
{
    return runningProcessNames().contains(kComponentExe, Qt::CaseSensitive);
}

bool LiveCodeModuleManager::install(const QString &key, const QString &archivePath)
{
    const bool installed = unpack(archivePath);
    if (installed)
        stampVersion(key);
    else
        qWarning().noquote().nospace() << "by tq uncompress " << key << " zip failed";

    QFile::remove(nativePath(archivePath));
    return installed;
}

bool LiveCodeModuleManager::unpack(const QString &archivePath)
{
    const QString module = nativePath(moduleDir());
    const QString staging = module + QStringLiteral("/LiveCodeModule.staging");
    const QString retired = module + QStringLiteral("/LiveCodeModule.old");
    // Left by an install that was cut short.
    removeTree(staging);
    removeTree(retired);

    QString reason;
    if (!isArchiveSafe(archivePath, &reason)) {
        qCWarning(lcLiveCode).noquote() << "archive refused:" << reason;
        return false;
    }
    // Unpacked beside the component first: the component in use stays until
    // the new one is complete.
    if (!QDir().mkpath(staging))
        return false;
    const QStringList unpacked = JlCompress::extractDir(nativePath(archivePath), staging);
    const QString fresh = staging + QStringLiteral("/LiveCodeModule");
    if (unpacked.isEmpty() || !QFileInfo(fresh + QLatin1Char('/') + kComponentExe).isFile()) {
        if (!unpacked.isEmpty())
            qCWarning(lcLiveCode).noquote() << "archive refused: it holds no" << kComponentExe;
        removeTree(staging);
        return false;
    }

    // The archive's own modes may lack what the next install needs to remove
    // the folder again, and a program packed on Windows has no execute bit.
    for (const QString &path : unpacked) {
        const QFileInfo info(path);
        QFile::Permissions wanted = QFile::ReadOwner | QFile::WriteOwner;
        if (info.isDir() || info.fileName() == kComponentExe)
            wanted |= QFile::ExeOwner;
        if ((info.permissions() & wanted) != wanted)
            QFile::setPermissions(path, info.permissions() | wanted);
    }

    // A running component holds its files (on Windows its folder cannot be
    // moved at all), so it goes first.
    terminateProcessesByName(kComponentExe);
    const QString current = nativePath(liveCodeModuleDir());
    const QFileInfo currentInfo(current);
    const bool hadOld = currentInfo.exists() || currentInfo.isSymLink();
    if (hadOld && !QDir().rename(current, retired)) {
        qCWarning(lcLiveCode).noquote() << "cannot move the installed component aside:" << current;
        removeTree(staging);
        return false;
    }
    if (!QDir().rename(fresh, current)) {
        qCWarning(lcLiveCode).noquote() << "cannot move the new component into place:" << current;
        if (hadOld)
            QDir().rename(retired, current);
        removeTree(staging);
        return false;
    }
    removeTree(retired);
    removeTree(staging);
    return true;
}

bool LiveCodeModuleManager::isArchiveSafe(const QString &archivePath, QString *reason)
{
    const auto refuse = [reason](const QString &why) {
        if (reason)
            *reason = why;
        return false;
    };

    // The directory is read from the file mapped into memory: the unzip code
    // reads a header's fields a byte or two at a time and carries on past the
    // end of the file when a header claims more than is there. From a file,
    // each such read is a system call (and through Qt's read buffer a fresh
    // buffer too), so a few hundred bytes of lies would cost seconds.
    QFile file(nativePath(archivePath));
    if (!file.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("cannot be opened (%1)").arg(file.errorString()));
    if (file.size() > std::numeric_limits<int>::max())
        return refuse(QStringLiteral("larger than %1 bytes").arg(std::numeric_limits<int>::max()));
    const uchar *mapped = file.size() > 0 ? file.map(0, file.size()) : nullptr;
    if (!mapped)
        return refuse(QStringLiteral("cannot be opened (empty or unreadable)"));
    QBuffer bytes;
    bytes.setData(QByteArray::fromRawData(reinterpret_cast<const char *>(mapped), int(file.size())));
    bytes.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    QuaZip zip(&bytes);
    if (!zip.open(QuaZip::mdUnzip))
        return refuse(QStringLiteral("cannot be opened (error %1)").arg(zip.getZipError()));

    quint64 total = 0;
    int entries = 0;
    for (bool more = zip.goToFirstFile(); more; more = zip.goToNextFile()) {
        if (++entries > kMaxEntries)
            return refuse(QStringLiteral("more than %1 entries").arg(kMaxEntries));
        QuaZipFileInfo64 info;
        if (!zip.getCurrentFileInfo(&info))
            return refuse(QStringLiteral("unreadable entry (error %1)").arg(zip.getZipError()));

        const QString problem = entryNameProblem(info.name);
        if (!problem.isEmpty())
            return refuse(QStringLiteral("\"%1\": %2").arg(info.name, problem));

        const quint32 type = (info.externalAttr >> 16) & kUnixTypeMask;
        const bool plainType = type == 0 || type == kUnixRegularFile || type == kUnixFolder;
        if (info.isSymbolicLink() || !plainType)
            return refuse(QStringLiteral("\"%1\": link or special file").arg(info.name));

        if (info.uncompressedSize > kMaxUnpackedBytes - total)
            return refuse(QStringLiteral("more than %1 bytes unpacked").arg(kMaxUnpackedBytes));
        total += info.uncompressedSize;
    }
    // goToFirstFile of an archive without entries ends the same way a
    // completed walk does; anything else is a broken central directory.
    const int error = zip.getZipError();
    if (error != UNZ_OK && error != UNZ_END_OF_LIST_OF_FILE)
        return refuse(QStringLiteral("broken directory (error %1)").arg(error));
    return true;
}

void LiveCodeModuleManager::stampVersion(const QString &key)
{
    const int remote = remoteVersion(key);
    if (remote < 0)
        return;
    QSettings moduleList(nativePath(moduleListFilePath()), QSettings::IniFormat);
    moduleList.setValue(key + QStringLiteral("/version"), remote);
    moduleList.sync();
}

bool LiveCodeModuleManager::removeDirRecursively(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QString local = nativePath(path);
    // A link in place of the folder is removed itself; what it points to is
    // not ours.
    if (QFileInfo(local).isSymLink())
        return QFile::remove(local);
    const QDir dir(local);
    if (!dir.exists())
        return true;

    removeContents(local);
    if (QDir().rmpath(local))
        return true;
    return dir.entryList(kEveryEntry).isEmpty();
}
