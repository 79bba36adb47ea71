#pragma once

#include <QString>

class KyFileDownloaderMgr;
class LiveMgrService;

// Keeps the login component LiveCodeModule.exe current and starts it. The
// component is not shipped with the program: its archive is downloaded from
// the download server into the module folder, checked, unpacked there into
// the component folder and stamped in the module list with the version the
// server's version file states. The live address dialog drives the
// download/install/launch cycle; this class only answers and acts.
//
// Owns the RPC service the component reports to; the service is listening
// from construction on. One instance, owned by the logic hub; GUI thread only.
class LiveCodeModuleManager
{
public:
    LiveCodeModuleManager();
    ~LiveCodeModuleManager();

    LiveCodeModuleManager(const LiveCodeModuleManager &) = delete;
    LiveCodeModuleManager &operator=(const LiveCodeModuleManager &) = delete;

    LiveMgrService *service() const;

    // Fetches the server's version file into the module folder, replacing an
    // earlier copy once the download has succeeded. Returns at once.
    void requestVersionFile(KyFileDownloaderMgr *downloaderMgr);

    bool isInstalled() const;
    // Whether the stamped version of `key` is older than the server's. A
    // version that is absent or not an integer counts as -1, so without a
    // version file nothing needs an update.
    bool needsUpdate(const QString &key) const;
    // A LaunchResult: LAUNCH_NOT_INSTALLED, LAUNCH_UPDATE_NEEDED (the old
    // component is not started), LAUNCH_START_FAILED or LAUNCH_OK.
    int launch();
    // Whether a process named exactly "LiveCodeModule.exe" runs.
    bool isComponentRunning() const;

    // Checks `archivePath` and unpacks it into a folder beside the component;
    // only when that holds "LiveCodeModule.exe" are running components ended
    // and the new folder swapped in for the old one, and `key`'s version
    // stamped. Anything else (an archive that fails the entry check, a broken
    // one, one without the program, a swap that cannot be made) is a failed
    // install: warning logged, no stamp, the installed component as it was.
    // The archive file is deleted in every case. True when installed.
    bool install(const QString &key, const QString &archivePath);

    // Writes the server's version of `key` to the module list, unless the
    // version file states none.
    void stampVersion(const QString &key);

    // Removes the folder with everything in it (links are removed, never
    // followed), then its parents that are left empty. False for an empty
    // path; true for a folder that does not exist.
    static bool removeDirRecursively(const QString &path);

    // Largest total of unpacked bytes an archive may declare, and most
    // entries it may hold.
    static const quint64 kMaxUnpackedBytes;
    static const int kMaxEntries;

    // Whether every entry of the archive lies plainly below
    // "LiveCodeModule/": a relative path with forward slashes only, without
    // "..", ":" or a drive, a regular file or folder (no link or other
    // special file), at most kMaxEntries entries, and the declared sizes
    // together within kMaxUnpackedBytes. An archive that cannot be read
    // fails; one without entries passes (and yields nothing when unpacked).
    // `reason` names the first failure.
    static bool isArchiveSafe(const QString &archivePath, QString *reason = nullptr);

private:
    // The module list's version of `key`, or the version file's.
    int localVersion(const QString &key) const;
    int remoteVersion(const QString &key) const;
    bool unpack(const QString &archivePath);

    LiveMgrService *m_service = nullptr;
    QString m_versionFilePath;
};
