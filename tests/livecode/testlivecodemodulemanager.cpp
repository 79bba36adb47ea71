// LiveCodeModuleManager against the sandbox download server, with the packed
// sandbox component started for real and reporting over the RPC service.

#include "kylogcapture.h"
#include "kytestmain.h"
#include "livecodetestsupport.h"
#include "ownprocesses.h"

#include "common/kyconstants.h"
#include "livecode/livecodemodulemanager.h"
#include "livecode/livemgrservice.h"

#include <QFileInfo>
#include <QSignalSpy>

#include <memory>

namespace {

constexpr int kTimeout = 20000;
const QString kUnpackFailed = QStringLiteral("default: by tq uncompress liveCodeModule zip failed");

using Entry = kytest::ArchiveEntry;
using kytest::componentProgram;
using kytest::writeArchive;

} // namespace

class TestLiveCodeModuleManager : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void versionTable_data();
    void versionTable();
    void missingVersionFileKeepsTheStamp();
    void firstUseOnACleanFolder();
    void refusedArchiveLeavesNothing_data();
    void refusedArchiveLeavesNothing();
    void archiveWithoutEntries();
    void runningComponentIsTerminatedBeforeRemoval();
    void processNameMatchesExactly();
    void removeDirRecursively();

private:
    // A manager that has fetched the version file stating `version`.
    std::unique_ptr<LiveCodeModuleManager> managerWithVersion(int version);
    bool installServedComponent(LiveCodeModuleManager &manager);

    SandboxServer m_server;
    std::unique_ptr<kytest::LogCapture> m_log;
};

void TestLiveCodeModuleManager::initTestCase()
{
    QVERIFY(m_server.start());
    m_log = std::make_unique<kytest::LogCapture>();
}

void TestLiveCodeModuleManager::cleanupTestCase()
{
    m_log.reset();
    kytest::resetComponentState();
}

void TestLiveCodeModuleManager::init()
{
    kytest::resetComponentState();
    QFile::remove(moduleDir() + QStringLiteral("/version.ini"));
    // A started component reports its closing and ends.
    qputenv("KYORO_LIVECODE_SCRIPT", "close");
    m_log->take();
}

void TestLiveCodeModuleManager::cleanup()
{
    kytest::endOwnProcesses({kytest::kComponentExe});
}

std::unique_ptr<LiveCodeModuleManager> TestLiveCodeModuleManager::managerWithVersion(int version)
{
    if (!kytest::serveVersion(m_server, version))
        return nullptr;
    auto manager = std::make_unique<LiveCodeModuleManager>();
    manager->requestVersionFile(KyFileDownloaderMgr::instance());
    if (!kytest::waitForVersionFile())
        return nullptr;
    return manager;
}

bool TestLiveCodeModuleManager::installServedComponent(LiveCodeModuleManager &manager)
{
    const QString archive = kytest::copyArchiveToModuleDir();
    if (archive.isEmpty())
        return false;
    manager.install(LIVE_CODE_MODULE_NAME, archive);
    return manager.isInstalled();
}

void TestLiveCodeModuleManager::versionTable_data()
{
    QTest::addColumn<int>("served");
    QTest::addColumn<int>("stamped");
    QTest::addColumn<bool>("needsUpdate");
    QTest::addColumn<int>("launchResult");

    QTest::newRow("5 served, 5 stamped") << 5 << 5 << false << int(LAUNCH_OK);
    QTest::newRow("5 served, 4 stamped") << 5 << 4 << true << int(LAUNCH_UPDATE_NEEDED);
    QTest::newRow("newer stamp than served") << 5 << 6 << false << int(LAUNCH_OK);
    QTest::newRow("0 served, never stamped") << 0 << -1 << true << int(LAUNCH_UPDATE_NEEDED);
    QTest::newRow("no version file") << -1 << 2 << false << int(LAUNCH_OK);
    QTest::newRow("no version file, never stamped") << -1 << -1 << false << int(LAUNCH_OK);
}

void TestLiveCodeModuleManager::versionTable()
{
    QFETCH(int, served);
    QFETCH(int, stamped);
    QFETCH(bool, needsUpdate);
    QFETCH(int, launchResult);

    auto manager = managerWithVersion(served);
    QVERIFY(manager);
    QCOMPARE(QFileInfo::exists(moduleDir() + QStringLiteral("/version.ini")), served >= 0);
    QVERIFY(installServedComponent(*manager));
    kytest::writeStamp(stamped);

    QCOMPARE(manager->needsUpdate(LIVE_CODE_MODULE_NAME), needsUpdate);
    QSignalSpy closed(manager->service(), &LiveMgrService::sglLiveCodeModuleClose);
    QCOMPARE(manager->launch(), launchResult);
    if (launchResult == LAUNCH_OK) {
        // Started from its folder with its switch: it reached the service.
        QTRY_COMPARE_WITH_TIMEOUT(closed.size(), 1, kTimeout);
    } else {
        QVERIFY(!manager->isComponentRunning());
        QCOMPARE(closed.size(), 0);
    }
}

void TestLiveCodeModuleManager::missingVersionFileKeepsTheStamp()
{
    auto manager = managerWithVersion(-1);
    QVERIFY(manager);
    kytest::writeStamp(3);
    QVERIFY(installServedComponent(*manager));
    QCOMPARE(kytest::stampedVersion(), 3);
    QCOMPARE(manager->launch(), int(LAUNCH_OK));
}

void TestLiveCodeModuleManager::firstUseOnACleanFolder()
{
    auto manager = managerWithVersion(2);
    QVERIFY(manager);
    m_log->take();
    QCOMPARE(manager->launch(), int(LAUNCH_NOT_INSTALLED));
    QVERIFY(m_log->take().isEmpty());

    const QString archive = kytest::copyArchiveToModuleDir();
    QVERIFY(!archive.isEmpty());
    manager->install(LIVE_CODE_MODULE_NAME, archive);
    QVERIFY(!QFileInfo::exists(archive));
    QCOMPARE(kytest::stampedVersion(), 2);
    const QFileInfo program(liveCodeModuleExePath());
    QVERIFY(program.isFile());
    QVERIFY(program.permissions() & QFile::ExeOwner);
    QVERIFY(!m_log->text().contains(kUnpackFailed));

    QSignalSpy closed(manager->service(), &LiveMgrService::sglLiveCodeModuleClose);
    QCOMPARE(manager->launch(), int(LAUNCH_OK));
    QTRY_COMPARE_WITH_TIMEOUT(closed.size(), 1, kTimeout);
}

void TestLiveCodeModuleManager::refusedArchiveLeavesNothing_data()
{
    QTest::addColumn<QList<Entry>>("entries");
    QTest::addColumn<QString>("outsidePath");

    const Entry program{QStringLiteral("LiveCodeModule/LiveCodeModule.exe"), componentProgram(), 0100755, 0};
    const QString outside = kytest::testRoot() + QStringLiteral("/outside");
    const QString escaped = moduleDir() + QStringLiteral("/../../escaped.txt");

    QTest::newRow("parent folder reference")
        << QList<Entry>{program, {QStringLiteral("LiveCodeModule/../../escaped.txt"), "x", 0100644, 0}} << escaped;
    QTest::newRow("absolute path")
        << QList<Entry>{program, {outside + QStringLiteral("/absolute.txt"), "x", 0100644, 0}}
        << outside + QStringLiteral("/absolute.txt");
    // A link to a folder outside, then a file written through it.
    QTest::newRow("link entry")
        << QList<Entry>{program, {QStringLiteral("LiveCodeModule/out"), outside.toUtf8(), 0120777, 0},
                        {QStringLiteral("LiveCodeModule/out/planted.txt"), "x", 0100644, 0}}
        << outside + QStringLiteral("/planted.txt");
    QTest::newRow("backslashes")
        << QList<Entry>{program, {QStringLiteral("LiveCodeModule\\..\\..\\escaped.txt"), "x", 0100644, 0}} << escaped;
    QTest::newRow("drive path")
        << QList<Entry>{program, {QStringLiteral("C:/escaped.txt"), "x", 0100644, 0}}
        << moduleDir() + QStringLiteral("/C:");
    QTest::newRow("outside the component folder")
        << QList<Entry>{program, {QStringLiteral("Other/escaped.txt"), "x", 0100644, 0}}
        << moduleDir() + QStringLiteral("/Other/escaped.txt");
    QTest::newRow("special file")
        << QList<Entry>{program, {QStringLiteral("LiveCodeModule/fifo"), "", 0010644, 0}}
        << moduleDir() + QStringLiteral("/LiveCodeModule/fifo");
    // Each entry alone is within the bound; together they are not.
    const quint64 half = LiveCodeModuleManager::kMaxUnpackedBytes / 2 + 1;
    QTest::newRow("oversized")
        << QList<Entry>{program, {QStringLiteral("LiveCodeModule/a.pak"), "x", 0100644, half},
                        {QStringLiteral("LiveCodeModule/b.pak"), "x", 0100644, half}}
        << moduleDir() + QStringLiteral("/LiveCodeModule/a.pak");
}

// Every refusal has the consequences of a failed unpack: warning, no stamp,
// the installed component as it was, the archive deleted, and nothing
// written anywhere.
void TestLiveCodeModuleManager::refusedArchiveLeavesNothing()
{
    QFETCH(QList<Entry>, entries);
    QFETCH(QString, outsidePath);

    auto manager = managerWithVersion(9);
    QVERIFY(manager);
    QVERIFY(installServedComponent(*manager));
    kytest::writeStamp(1);
    QDir().mkpath(kytest::testRoot() + QStringLiteral("/outside"));
    QFile::remove(outsidePath);

    const QString archive = moduleDir() + QStringLiteral("/LiveCodeModule.zip");
    QVERIFY(writeArchive(archive, entries));
    QVERIFY(!LiveCodeModuleManager::isArchiveSafe(archive));
    m_log->take();
    manager->install(LIVE_CODE_MODULE_NAME, archive);

    QVERIFY(m_log->take().contains(kUnpackFailed));
    QVERIFY2(!QFileInfo::exists(outsidePath) && !QFileInfo(outsidePath).isSymLink(), qPrintable(outsidePath));
    QCOMPARE(kytest::readFile(liveCodeModuleExePath()), componentProgram());
    QVERIFY(!QFileInfo::exists(archive));
    QCOMPARE(kytest::stampedVersion(), 1);
    QCOMPARE(manager->launch(), int(LAUNCH_UPDATE_NEEDED));
}

void TestLiveCodeModuleManager::archiveWithoutEntries()
{
    auto manager = managerWithVersion(4);
    QVERIFY(manager);
    QVERIFY(installServedComponent(*manager));
    kytest::writeStamp(1);

    const QString archive = moduleDir() + QStringLiteral("/LiveCodeModule.zip");
    // Just the end record of the central directory.
    QVERIFY(kytest::writeFile(archive, QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0')));
    m_log->take();
    manager->install(LIVE_CODE_MODULE_NAME, archive);
    QVERIFY(m_log->take().contains(kUnpackFailed));
    QCOMPARE(kytest::readFile(liveCodeModuleExePath()), componentProgram());
    QVERIFY(!QFileInfo::exists(archive));
    QCOMPARE(kytest::stampedVersion(), 1);
    QCOMPARE(manager->launch(), int(LAUNCH_UPDATE_NEEDED));

    // Bytes that are no archive at all fare the same.
    QVERIFY(kytest::writeFile(archive, "PK\x03\x04 but nothing after it"));
    manager->install(LIVE_CODE_MODULE_NAME, archive);
    QVERIFY(m_log->take().contains(kUnpackFailed));
    QVERIFY(!QFileInfo::exists(archive));
    QCOMPARE(kytest::stampedVersion(), 1);
}

void TestLiveCodeModuleManager::runningComponentIsTerminatedBeforeRemoval()
{
    auto manager = managerWithVersion(3);
    QVERIFY(manager);
    QVERIFY(installServedComponent(*manager));
    qputenv("KYORO_LIVECODE_SCRIPT", "stay");
    QCOMPARE(manager->launch(), int(LAUNCH_OK));
    QTRY_VERIFY_WITH_TIMEOUT(manager->isComponentRunning(), kTimeout);

    // A file the old component holds open is gone with its folder.
    const QString leftover = liveCodeModuleDir() + QStringLiteral("/.session");
    QVERIFY(kytest::writeFile(leftover, "old"));
    manager->install(LIVE_CODE_MODULE_NAME, kytest::copyArchiveToModuleDir());
    QTRY_VERIFY_WITH_TIMEOUT(!manager->isComponentRunning(), 5000);
    QVERIFY(!QFileInfo::exists(leftover));
    QVERIFY(manager->isInstalled());
    QCOMPARE(kytest::stampedVersion(), 3);
}

void TestLiveCodeModuleManager::processNameMatchesExactly()
{
    auto manager = managerWithVersion(1);
    QVERIFY(manager);
    kytest::ToolProcess lowerCase(QStringLiteral("livecodemodule.exe"));
    QVERIFY(lowerCase.started());
    QVERIFY(!manager->isComponentRunning());

    kytest::ToolProcess exact(kytest::kComponentExe);
    QVERIFY(exact.started());
    QTRY_VERIFY_WITH_TIMEOUT(manager->isComponentRunning(), 5000);

    manager->install(LIVE_CODE_MODULE_NAME, kytest::copyArchiveToModuleDir());
    QVERIFY(exact.process().waitForFinished(5000));
    QVERIFY(kytest::isRunning(QStringLiteral("livecodemodule.exe")));
    QVERIFY(!manager->isComponentRunning());
}

void TestLiveCodeModuleManager::removeDirRecursively()
{
    QVERIFY(!LiveCodeModuleManager::removeDirRecursively(QString()));
    QVERIFY(LiveCodeModuleManager::removeDirRecursively(kytest::testRoot() + QStringLiteral("/never-made")));

    const QString parent = kytest::testRoot() + QStringLiteral("/remove/empty-parent");
    const QString folder = parent + QStringLiteral("/component");
    const QString kept = kytest::testRoot() + QStringLiteral("/kept");
    QVERIFY(kytest::writeFile(folder + QStringLiteral("/a/b/file"), "1"));
    QVERIFY(kytest::writeFile(folder + QStringLiteral("/.hidden/.file"), "2"));
    QVERIFY(kytest::writeFile(kept + QStringLiteral("/precious"), "3"));
    QVERIFY(QFile::link(kept, folder + QStringLiteral("/link-to-kept")));
    QVERIFY(kytest::writeFile(kytest::testRoot() + QStringLiteral("/remove/sibling"), "4"));

    QVERIFY(LiveCodeModuleManager::removeDirRecursively(folder));
    QVERIFY(!QFileInfo::exists(folder));
    // Parents left empty go too, up to the first that is not empty.
    QVERIFY(!QFileInfo::exists(parent));
    QVERIFY(QFileInfo::exists(kytest::testRoot() + QStringLiteral("/remove/sibling")));
    // A link is removed, not followed.
    QCOMPARE(kytest::readFile(kept + QStringLiteral("/precious")), QByteArray("3"));
}

KY_TEST_GUILESS_MAIN(TestLiveCodeModuleManager)
#include "testlivecodemodulemanager.moc"
