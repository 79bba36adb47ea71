#include "downloadrecorder.h"
#include "kylogcapture.h"
#include "kytestmain.h"
#include "sandboxserver.h"

#include "common/kyconstants.h"
#include "common/kypaths.h"
#include "common/kytexts.h"
#include "download/kydownloadrules.h"
#include "download/kyfiledownloadermgr.h"
#include "livecode/livecodemodulemanager.h"
#include "logic/kylivetoolsmanager.h"
#include "logic/kytoolfacts.h"
#include "telemetry/kyoropointing.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>

using kytest::LogCapture;
using kytest::PoolRecorder;
using kytest::rule;

namespace {
const QString kWebApiPath = QStringLiteral("/api/v1/get_zbpc_client");
const QString kVersionPath = QStringLiteral("/client_download/VURuv/files/ModuleDownload/version.ini");
const QString kCollectorPath = QStringLiteral("/deliver/lark2");
// A bound the tests shorten the 15 s stall bound to; the server holds its
// answer back far longer.
const int kTestStallMs = 300;

// An answer that is what the program expects, followed by more blanks than
// the cap allows: whole, it would still parse.
QJsonObject padded(const QString &path, const QString &answer, int padding, bool announced)
{
    QJsonObject object = rule(path, {{QStringLiteral("body"), QJsonObject{{QStringLiteral("prefix"), answer},
                                                                            {QStringLiteral("repeat"), QStringLiteral(" ")},
                                                                            {QStringLiteral("count"), padding}}}});
    if (!announced)
        object.insert(QStringLiteral("nolength"), true);
    return object;
}

QJsonObject heldBack(const QString &path, const QString &answer)
{
    return rule(path, {{QStringLiteral("body"), answer}, {QStringLiteral("delay"), 3}});
}

// Every file below `folder` named `name`.
QStringList filesNamed(const QString &folder, const QString &name)
{
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        if (it.fileName().contains(name))
            found << it.filePath();
    }
    return found;
}
} // namespace

// The program's requests against a hostile server on 127.0.0.1: names that
// would leave the download folder, answers without end, answers that never
// come. Each case fails on a program that trusts the server.
class TestHostileAnswers : public QObject
{
    Q_OBJECT

private:
    SandboxServer m_server;

private slots:
    void initTestCase() { QVERIFY(m_server.start()); }
    void init() { QVERIFY(m_server.reset()); }
    void cleanup() { KyFileDownloaderMgr::destroyInstance(); }

    // A download name from the network that could name a file outside the
    // save folder is refused before anything is requested or written.
    void downloadNamesThatLeaveTheFolder_data()
    {
        QTest::addColumn<QString>("tail");
        QTest::newRow("backslashes up and out") << QStringLiteral("..\\..\\outside\\evil.exe");
        QTest::newRow("encoded backslashes") << QStringLiteral("..%5C..%5Coutside%5Cevil.exe");
        QTest::newRow("encoded slash") << QStringLiteral("..%2F..%2Fevil.exe");
        QTest::newRow("dot dot") << QStringLiteral("..");
        QTest::newRow("encoded dot dot") << QStringLiteral("%2E%2E");
        QTest::newRow("dot") << QStringLiteral(".");
        QTest::newRow("dots only (Windows drops them)") << QStringLiteral("...");
        QTest::newRow("empty") << QString();
        QTest::newRow("drive") << QStringLiteral("C:evil.exe");
        QTest::newRow("encoded colon (stream)") << QStringLiteral("evil.exe%3A%24DATA");
        QTest::newRow("encoded line feed") << QStringLiteral("evil%0A.exe");
        QTest::newRow("encoded NUL") << QStringLiteral("evil.exe%00.txt");
        QTest::newRow("raw control character") << QStringLiteral("evil\x01.exe");
    }

    void downloadNamesThatLeaveTheFolder()
    {
        QFETCH(QString, tail);
        const QString root = kytest::testRoot() + QStringLiteral("/names");
        const QString saveDir = root + QStringLiteral("/a/b/download");
        QVERIFY(QDir().mkpath(saveDir));
        const QString url = m_server.url(QStringLiteral("/x/")) + tail;

        QString problem;
        QCOMPARE(downloadFileName(url, &problem), QString());
        QVERIFY(!problem.isEmpty());
        LogCapture log;
        PoolRecorder rec(KyFileDownloaderMgr::instance());
        QCOMPARE(KyFileDownloaderMgr::instance()->startDownload(QStringLiteral("n"), url, saveDir, true), int(DOWNLOAD_BAD_URL));
        QVERIFY2(log.text().contains(QStringLiteral("by tq download n refused, unsafe file name")), qPrintable(log.text()));
        QCOMPARE(rec.endings(QStringLiteral("n")), QStringList{QStringLiteral("done")});
        QTest::qWait(50);
        QVERIFY(m_server.requests().filter(QStringLiteral("/x/")).isEmpty());
        QCOMPARE(filesNamed(kytest::testRoot(), QStringLiteral("evil")), QStringList());
        QCOMPARE(QDir(saveDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
    }

    // Ordinary names, escaped or not, pass as they are.
    void ordinaryNamesPass()
    {
        QCOMPARE(downloadFileName(QStringLiteral("http://h/p/OBS-Studio-21.0.1-Full-Installer.exe")),
                 QStringLiteral("OBS-Studio-21.0.1-Full-Installer.exe"));
        QCOMPARE(downloadFileName(QStringLiteral("http://h/p/q.bin?v=2")), QStringLiteral("q.bin?v=2"));
        QCOMPARE(downloadFileName(QStringLiteral("http://h/p/Kyoro%E7%9B%B4%E6%92%AD.exe")),
                 QStringLiteral("Kyoro%E7%9B%B4%E6%92%AD.exe"));
        QCOMPARE(downloadTargetPath(QStringLiteral("D:\\Kyoro\\download"), QStringLiteral("http://h/setup.exe")),
                 QStringLiteral("D:\\Kyoro\\download/setup.exe"));
    }

    // The web API's answer is read whole: one past 1 MiB, or one that never
    // comes, fails like a network error and changes no installer URL.
    void webApiAnswersAreBounded_data()
    {
        QTest::addColumn<QJsonObject>("answer");
        const QString evil = QStringLiteral("{\"error\":0,\"data\":{\"zbpc\":{\"down_url\":\"http://127.0.0.1:9/evil/KYTool.exe\"},"
                                            "\"zbpc_show\":{\"down_url\":\"http://127.0.0.1:9/evil/KYShow.exe\"}}}");
        QTest::newRow("over 1 MiB, announced") << padded(kWebApiPath, evil, 1024 * 1024 + 10, true);
        QTest::newRow("over 1 MiB, no length") << padded(kWebApiPath, evil, 3 * 1024 * 1024, false);
        QTest::newRow("held back") << heldBack(kWebApiPath, evil);
    }

    void webApiAnswersAreBounded()
    {
        QFETCH(QJsonObject, answer);
        QVERIFY(m_server.addRule(answer));
        LogCapture log;
        KyLiveToolsManager manager;
        manager.setRequestStallTimeout(kTestStallMs);
        QElapsedTimer clock;
        clock.start();
        manager.initialize();
        QTRY_VERIFY_WITH_TIMEOUT(log.contains(QStringLiteral("by tq obtain download url info failed")), 10000);
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!manager.downloadUrl(TOOL_NAME_KYTOOL).contains(QLatin1String("evil")));
        QVERIFY(!manager.downloadUrl(TOOL_NAME_KYSHOW).contains(QLatin1String("evil")));
    }

    // The same for the collector's reply: past 64 KiB, or never, it is an
    // unexpected answer, not the message it began with.
    void telemetryRepliesAreBounded_data()
    {
        QTest::addColumn<QJsonObject>("answer");
        const QString message = QStringLiteral("{\"error\":3,\"msg\":\"from a hostile collector\"}");
        QTest::newRow("over 64 KiB, announced") << padded(kCollectorPath, message, 64 * 1024, true);
        QTest::newRow("over 64 KiB, no length") << padded(kCollectorPath, message, 1024 * 1024, false);
        QTest::newRow("held back") << heldBack(kCollectorPath, message);
    }

    void telemetryRepliesAreBounded()
    {
        QFETCH(QJsonObject, answer);
        QVERIFY(m_server.addRule(answer));
        KyoroPointing::instance()->setReplyStallTimeout(kTestStallMs);
        QSignalSpy handled(KyoroPointing::instance(), &KyoroPointing::sglPointingResultHandled);
        LogCapture log;
        QElapsedTimer clock;
        clock.start();
        reportEvent(POINTING_CLICK_CUST);
        QTRY_COMPARE_WITH_TIMEOUT(handled.count(), 1, 10000);
        QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(log.contains(QStringLiteral("by mrwo, Kyoro pointing error: unexpected HTTP response")));
        QVERIFY(!log.text().contains(QLatin1String("hostile")));
    }

    // The version file is capped at 64 KiB: a larger one fails like a
    // network error, nothing of it is kept and the copy from before stays.
    void versionFileIsCapped_data()
    {
        QTest::addColumn<bool>("announced");
        QTest::newRow("announced") << true;
        QTest::newRow("no length") << false;
    }

    void versionFileIsCapped()
    {
        QFETCH(bool, announced);
        const QString local = moduleDir() + QStringLiteral("/version.ini");
        QVERIFY(kytest::writeFile(local, "[update]\nliveCodeModule=5\n"));
        QVERIFY(m_server.addRule(padded(kVersionPath, QStringLiteral("[update]\nliveCodeModule=7\n"), 2 * 1024 * 1024, announced)));
        writeStamp(5);

        LiveCodeModuleManager manager;
        PoolRecorder rec(KyFileDownloaderMgr::instance());
        manager.requestVersionFile(KyFileDownloaderMgr::instance());
        QTRY_VERIFY_WITH_TIMEOUT(rec.done(DOWNLOAD_NAME_MODULE_VERSION), 10000);
        QCOMPARE(rec.endings(DOWNLOAD_NAME_MODULE_VERSION), QStringList({QStringLiteral("failed"), QStringLiteral("done")}));
        QCOMPARE(kytest::readFile(local), QByteArray("[update]\nliveCodeModule=5\n"));
        QCOMPARE(QDir(moduleDir()).entryList({QStringLiteral("version.ini*")}, QDir::Files), QStringList{QStringLiteral("version.ini")});
        QVERIFY(!manager.needsUpdate(LIVE_CODE_MODULE_NAME));
    }

    // An oversized version file left on disk by an earlier version is not
    // parsed at launch: it states nothing.
    void oversizedVersionFileOnDiskStatesNothing()
    {
        QByteArray text = "[update]\nliveCodeModule=7\n";
        text += QByteArray(100 * 1024, '#');
        QVERIFY(kytest::writeFile(moduleDir() + QStringLiteral("/version.ini"), text));
        QVERIFY(m_server.addRule(rule(kVersionPath, {{QStringLiteral("status"), 404}, {QStringLiteral("body"), QString()}})));
        writeStamp(5);
        LiveCodeModuleManager manager;
        PoolRecorder rec(KyFileDownloaderMgr::instance());
        manager.requestVersionFile(KyFileDownloaderMgr::instance());
        QTRY_VERIFY_WITH_TIMEOUT(rec.done(DOWNLOAD_NAME_MODULE_VERSION), 10000);
        QVERIFY(!manager.needsUpdate(LIVE_CODE_MODULE_NAME));
    }

    // Bodies that only begin like what their name promises. Before: two
    // bytes made an installer ("MZ", then an error page was kept and run) and
    // two a zip archive (a cut one was kept).
    void bodiesThatOnlyBeginLikeTheirKind_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("why");
        const QByteArray page = "<!DOCTYPE html><html><head><title>503 Service Unavailable</title></head><body>"
                                "<h1>Service Unavailable</h1><p>The server is temporarily unable to service your "
                                "request. Please try again later.</p></body></html>";
        QTest::newRow("MZ, then an HTML page") << QStringLiteral("setup.exe") << QByteArray("MZ\r\n" + page)
                                               << QStringLiteral("not a program");
        QByteArray farHeader = "MZ" + QByteArray(0x3a, '\0') + QByteArray("\x00\x00\x01\x00", 4) + QByteArray(512, 'x');
        QTest::newRow("PE header beyond the file") << QStringLiteral("setup.exe") << farHeader << QStringLiteral("not a program");
        // A well-placed header of an x64 program, but no section at all.
        QByteArray noSections = "MZ" + QByteArray(0x3a, '\0') + QByteArray("\x80\x00\x00\x00", 4);
        noSections += QByteArray(0x80 - noSections.size(), '\0') + QByteArray("PE\0\0\x64\x86\x00\x00", 8);
        noSections += QByteArray(12, '\0') + QByteArray("\xf0\x00\x22\x00\x0b\x02", 6) + QByteArray(1024, '\0');
        QTest::newRow("PE header without sections") << QStringLiteral("setup.exe") << noSections << QStringLiteral("not a program");
        const QByteArray archive = kytest::readFile(kytest::sandboxDir()
                                                    + QStringLiteral("/www/client_download/VURuv/files/ModuleDownload/LiveCodeModule.zip"));
        QTest::newRow("zip cut in half") << QStringLiteral("module.zip") << archive.left(archive.size() / 2)
                                         << QStringLiteral("not a zip archive");
    }

    void bodiesThatOnlyBeginLikeTheirKind()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, body);
        QFETCH(QString, why);
        QVERIFY(body.size() > 100);
        QTemporaryDir dir(kytest::testRoot() + QStringLiteral("/bodies-XXXXXX"));
        QVERIFY(kytest::writeFile(dir.filePath(QStringLiteral("served")), body));
        const QString path = QStringLiteral("/gen/100/") + name;
        QVERIFY(m_server.addRule(rule(path, {{QStringLiteral("body_file"), dir.filePath(QStringLiteral("served"))}})));
        PoolRecorder rec(KyFileDownloaderMgr::instance());
        LogCapture log;
        QCOMPARE(KyFileDownloaderMgr::instance()->startDownload(QStringLiteral("d"), m_server.url(path), dir.path(), true),
                 int(DOWNLOAD_STARTED));
        QTRY_VERIFY_WITH_TIMEOUT(rec.done(QStringLiteral("d")), 10000);
        QCOMPARE(rec.endings(QStringLiteral("d")), QStringList({QStringLiteral("failed"), QStringLiteral("done")}));
        QVERIFY2(log.contains(QStringLiteral("d: ") + why), qPrintable(log.text()));
        QVERIFY(!QFileInfo::exists(dir.filePath(name)));
    }

    // A server that compresses what it sends when asked to and counts ranges
    // in compressed bytes, as many CDNs do. Before: Qt asked for gzip and
    // unpacked it, the length probe asked for bytes past the compressed end
    // and every such download failed; a resume asked for the wrong bytes.
    void compressingServerWithRanges()
    {
        const QString path = QStringLiteral("/gen/300000/packed.bin");
        QVERIFY(m_server.addRule(rule(path, {{QStringLiteral("gzip"), true}})));
        QVERIFY(m_server.addRule(rule(path, {{QStringLiteral("gzip"), true}, {QStringLiteral("short"), 150000},
                                             {QStringLiteral("times"), 1}})));
        QTemporaryDir dir(kytest::testRoot() + QStringLiteral("/packed-XXXXXX"));
        PoolRecorder rec(KyFileDownloaderMgr::instance());
        QCOMPARE(KyFileDownloaderMgr::instance()->startDownload(QStringLiteral("d"), m_server.url(path), dir.path(), false),
                 int(DOWNLOAD_STARTED));
        QTRY_VERIFY_WITH_TIMEOUT(rec.done(QStringLiteral("d")), 20000);
        QCOMPARE(rec.endings(QStringLiteral("d")), QStringList({QStringLiteral("finished"), QStringLiteral("done")}));
        QCOMPARE(kytest::readFile(dir.filePath(QStringLiteral("packed.bin"))), kytest::generated(300000));
        QVERIFY(m_server.rangesAsked(path).contains(QStringLiteral("bytes=150000-")));
    }

    // The first answer carries no validator and is cut; the server's file
    // then changes, and it answers ranges all the same. Nothing tells
    // whether the rest belongs to the bytes already here: the download
    // starts over, and the file is the new one whole, never two spliced.
    // It starts over once, as for a changed file: cut again, it fails
    // rather than fetch the whole file a third and fourth time.
    void aResumeWithoutValidatorStartsOverOnce()
    {
        const QString path = QStringLiteral("/gen/200000/changing.bin");
        QByteArray changed = kytest::generated(200000);
        std::reverse(changed.begin(), changed.end());
        QTemporaryDir dir(kytest::testRoot() + QStringLiteral("/changing-XXXXXX"));
        QVERIFY(kytest::writeFile(dir.filePath(QStringLiteral("changed")), changed));
        QVERIFY(m_server.addRule(rule(path, {{QStringLiteral("no_validator"), true},
                                             {QStringLiteral("ranges_without_validator"), true},
                                             {QStringLiteral("body_file"), dir.filePath(QStringLiteral("changed"))}})));
        QVERIFY(m_server.addRule(rule(path, {{QStringLiteral("no_validator"), true}, {QStringLiteral("short"), 120000},
                                             {QStringLiteral("times"), 1}})));
        PoolRecorder rec(KyFileDownloaderMgr::instance());
        QCOMPARE(KyFileDownloaderMgr::instance()->startDownload(QStringLiteral("d"), m_server.url(path), dir.path(), false),
                 int(DOWNLOAD_STARTED));
        QTRY_VERIFY_WITH_TIMEOUT(rec.done(QStringLiteral("d")), 20000);
        QCOMPARE(rec.endings(QStringLiteral("d")), QStringList({QStringLiteral("finished"), QStringLiteral("done")}));
        QVERIFY(kytest::readFile(dir.filePath(QStringLiteral("changing.bin"))) == changed);

        const QString again = QStringLiteral("/gen/200000/again.bin");
        QVERIFY(m_server.addRule(rule(again, {{QStringLiteral("no_validator"), true}, {QStringLiteral("short"), 120000}})));
        PoolRecorder second(KyFileDownloaderMgr::instance());
        QCOMPARE(KyFileDownloaderMgr::instance()->startDownload(QStringLiteral("d"), m_server.url(again), dir.path(), false),
                 int(DOWNLOAD_STARTED));
        QTRY_VERIFY_WITH_TIMEOUT(second.done(QStringLiteral("d")), 20000);
        QCOMPARE(second.endings(QStringLiteral("d")), QStringList({QStringLiteral("failed"), QStringLiteral("done")}));
        // The whole file twice (Qt may ask once more on a fresh connection),
        // not once and three times again.
        const QStringList asked = m_server.rangesAsked(again);
        QVERIFY2(asked.size() < 4 && asked.count(QString()) == asked.size(), qPrintable(asked.join(QLatin1Char(','))));
    }

private:
    static void writeStamp(int version)
    {
        QSettings list(moduleListFilePath(), QSettings::IniFormat);
        list.setValue(LIVE_CODE_MODULE_NAME + QStringLiteral("/version"), version);
        list.sync();
    }
};

KY_TEST_GUILESS_MAIN(TestHostileAnswers)
#include "testhostileanswers.moc"
