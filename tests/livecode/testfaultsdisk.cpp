// A full disk and a read-only folder where the program writes what it
// downloads and unpacks. Nothing half-written may stay, and no failure may be
// reported as success. Mounting the small file systems needs root.

#include "kytestmain.h"
#include "livecodetestsupport.h"

#include "common/kyconstants.h"
#include "download/kyfiledownloader.h"
#include "livecode/livecodemodulemanager.h"

#include <QFileInfo>
#include <QSignalSpy>

#include <memory>

#include <sys/mount.h>
#include <unistd.h>

namespace {

// A tmpfs of `kib` KiB mounted on `folder` (read-only when asked) until the
// object goes.
class SmallDisk
{
public:
    SmallDisk(const QString &folder, int kib, bool readOnly = false)
        : m_folder(QFile::encodeName(folder))
    {
        QDir().mkpath(folder);
        const QByteArray options = "size=" + QByteArray::number(kib) + "k,mode=0755";
        m_mounted = ::mount("tmpfs", m_folder.constData(), "tmpfs", readOnly ? MS_RDONLY : 0, options.constData()) == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool mounted() const { return m_mounted; }

private:
    QByteArray m_folder;
    bool m_mounted = false;
};

QStringList entriesOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

} // namespace

class TestFaultsDisk : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void fullDiskDuringUnpackKeepsTheOldComponent();
    void downloadIntoAFullOrReadOnlyFolderFails_data();
    void downloadIntoAFullOrReadOnlyFolderFails();
};

void TestFaultsDisk::init()
{
    if (::geteuid() != 0)
        QSKIP("mounting a small file system needs root");
}

// The module folder has room for one component and its archive, not for a
// second one unpacked beside it.
void TestFaultsDisk::fullDiskDuringUnpackKeepsTheOldComponent()
{
    kytest::resetComponentState();
    const qint64 archiveSize = QFileInfo(kytest::servedArchive()).size();
    const qint64 programSize = kytest::componentProgram().size();
    const int kib = int((archiveSize + programSize * 3 / 2 + 4 * 4096) / 1024);
    QDir(moduleDir()).removeRecursively();
    SmallDisk disk(moduleDir(), kib);
    QVERIFY(disk.mounted());

    LiveCodeModuleManager manager;
    QVERIFY(manager.install(LIVE_CODE_MODULE_NAME, kytest::copyArchiveToModuleDir()));
    QCOMPARE(kytest::readFile(liveCodeModuleExePath()), kytest::componentProgram());

    const QString archive = kytest::copyArchiveToModuleDir();
    QVERIFY(!archive.isEmpty());
    QVERIFY(!manager.install(LIVE_CODE_MODULE_NAME, archive));
    QCOMPARE(kytest::readFile(liveCodeModuleExePath()), kytest::componentProgram());
    QCOMPARE(entriesOf(moduleDir()), QStringList{QStringLiteral("LiveCodeModule")});
    QCOMPARE(manager.launch(), int(LAUNCH_OK));
    kytest::endOwnProcesses({kytest::kComponentExe});
}

void TestFaultsDisk::downloadIntoAFullOrReadOnlyFolderFails_data()
{
    QTest::addColumn<bool>("readOnly");
    QTest::newRow("full") << false;
    QTest::newRow("read-only") << true;
}

void TestFaultsDisk::downloadIntoAFullOrReadOnlyFolderFails()
{
    QFETCH(bool, readOnly);
    SandboxServer server;
    QVERIFY(server.start());
    const QString folder = kytest::testRoot() + (readOnly ? QStringLiteral("/ro-download") : QStringLiteral("/full-download"));
    SmallDisk disk(folder, 256, readOnly);
    QVERIFY(disk.mounted());

    KyFileDownloaderMgr *downloads = KyFileDownloaderMgr::instance();
    bool failed = false;
    bool finished = false;
    for (KyFileDownloader *downloader : downloads->allDownloaders()) {
        connect(downloader, &KyFileDownloader::sglDownloadFailed, this, [&failed] { failed = true; });
        connect(downloader, &KyFileDownloader::sglDownloadFinished, this, [&finished] { finished = true; });
    }
    const int result = downloads->startDownload(QStringLiteral("big"), server.url(QStringLiteral("/gen/2000000/big.bin")),
                                                folder, true);
    if (result == DOWNLOAD_STARTED)
        QTRY_VERIFY_WITH_TIMEOUT(failed || finished, 30000);
    else
        QCOMPARE(result, int(DOWNLOAD_ERROR));
    for (KyFileDownloader *downloader : downloads->allDownloaders())
        disconnect(downloader, nullptr, this, nullptr);
    QVERIFY(!finished);
    QTRY_COMPARE_WITH_TIMEOUT(downloads->downloadProgress(QStringLiteral("big")), -1, 10000);
    QCOMPARE(entriesOf(folder), QStringList());
}

KY_TEST_GUILESS_MAIN(TestFaultsDisk)
#include "testfaultsdisk.moc"
