#include "downloadrecorder.h"
#include "kylogcapture.h"
#include "kytestmain.h"
#include "sandboxserver.h"

#include "common/kyconstants.h"
#include "download/kyfiledownloadermgr.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

using kytest::generated;
using kytest::LogCapture;
using kytest::PoolRecorder;
using kytest::rule;

namespace {
// For the cases whose server stalls on purpose: well below its stall, and
// long enough that a loaded machine (Wine, a build beside the run) does not
// look like a stall before the first byte, which fails a download at once.
// Every other case keeps the program's own bound.
const int kTestStallMs = 2000;

KyDownloadLimits quickStall()
{
    KyDownloadLimits limits;
    limits.stallTimeoutMs = kTestStallMs;
    return limits;
}

// Consecutive repeats dropped: Qt itself may send a request once more on a
// fresh connection when the first one closed early.
QStringList collapsed(const QStringList &requests)
{
    QStringList result;
    for (const QString &request : requests) {
        if (result.isEmpty() || result.last() != request)
            result << request;
    }
    return result;
}

bool nonDecreasing(const QList<int> &values)
{
    for (int i = 1; i < values.size(); ++i) {
        if (values[i] < values[i - 1])
            return false;
    }
    return true;
}
} // namespace

// Downloads against a server that misbehaves the way real networks and
// servers do: each case gives the server's behaviour as the input and checks
// what the callers see (the signals, in order) and what lands on disk.
class TestDownloadResume : public QObject
{
    Q_OBJECT

private:
    SandboxServer m_server;
    QTemporaryDir *m_dir = nullptr;
    KyFileDownloaderMgr *mgr() { return KyFileDownloaderMgr::instance(); }
    QString dir() const { return m_dir->path(); }
    QStringList leftovers() const { return QDir(dir()).entryList(QDir::Files | QDir::Hidden); }

    // Starts `path` under the name "d" and waits until the downloader is back.
    void download(PoolRecorder &rec, const QString &path, bool force = false,
                  const KyDownloadLimits &limits = KyDownloadLimits())
    {
        QCOMPARE(mgr()->startDownload(QStringLiteral("d"), m_server.url(path), dir(), force, limits), int(DOWNLOAD_STARTED));
        QTRY_VERIFY_WITH_TIMEOUT(rec.done(QStringLiteral("d")), 30000);
    }

private slots:
    void initTestCase() { QVERIFY(m_server.start()); }

    void init()
    {
        m_dir = new QTemporaryDir(kytest::testRoot() + QStringLiteral("/resume-XXXXXX"));
        QVERIFY(m_server.reset());
    }

    void cleanup()
    {
        KyFileDownloaderMgr::destroyInstance();
        delete m_dir;
        m_dir = nullptr;
    }

    // One break, taken up where it happened: the second request asks for the
    // rest only, and the callers see one download whose progress never goes
    // back.
    void breaksAreTakenUpWhereTheyHappened_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<QJsonObject>("fault");
        QTest::addColumn<int>("resumedAt");
        const int size = 200000;
        auto once = [](std::initializer_list<QPair<QString, QJsonValue>> values) {
            QJsonObject object = rule(QStringLiteral("/gen/200000/r.bin"), values);
            object.insert(QStringLiteral("times"), 1);
            return object;
        };
        QTest::newRow("cut at 10 %") << size << once({{QStringLiteral("short"), size / 10}}) << size / 10;
        QTest::newRow("cut at 50 %") << size << once({{QStringLiteral("short"), size / 2}}) << size / 2;
        QTest::newRow("cut at 99 %") << size << once({{QStringLiteral("short"), size * 99 / 100}}) << size * 99 / 100;
        QTest::newRow("stall mid-body") << size << once({{QStringLiteral("stall_after"), size / 2}, {QStringLiteral("stall_seconds"), 5}})
                                        << size / 2;
        // Without a length the close looks like the end of the body: what
        // follows is asked for all the same.
        QTest::newRow("no length, early close") << size << once({{QStringLiteral("nolength"), true}, {QStringLiteral("short"), 70000}})
                                                << 70000;
        QTest::newRow("chunked, closed before the last chunk")
            << size << once({{QStringLiteral("chunked"), true}, {QStringLiteral("short"), 70000}}) << 70000;
    }

    void breaksAreTakenUpWhereTheyHappened()
    {
        QFETCH(int, size);
        QFETCH(QJsonObject, fault);
        QFETCH(int, resumedAt);
        QVERIFY(m_server.addRule(fault));
        PoolRecorder rec(mgr());
        download(rec, QStringLiteral("/gen/200000/r.bin"), false,
                 fault.contains(QStringLiteral("stall_after")) ? quickStall() : KyDownloadLimits());

        QCOMPARE(rec.endings(QStringLiteral("d")), QStringList({QStringLiteral("finished"), QStringLiteral("done")}));
        QCOMPARE(kytest::readFile(dir() + QStringLiteral("/r.bin")), generated(size));
        QCOMPARE(leftovers(), QStringList{QStringLiteral("r.bin")});
        // The whole file is asked for first, then the rest only.
        QCOMPARE(collapsed(m_server.rangesAsked(QStringLiteral("/gen/200000/r.bin"))),
                 QStringList({QString(), QStringLiteral("bytes=%1-").arg(resumedAt)}));
        QVERIFY(nonDecreasing(rec.percents.value(QStringLiteral("d"))));
        QCOMPARE(rec.percents.value(QStringLiteral("d")).last(), 100);
    }

    // The OBS installer as the sandbox serves it, stalled once and cut once:
    // it arrives whole, as the program it is, in bounded time.
    void theObsInstallerSurvivesAStallAndACut()
    {
        const QString path = QStringLiteral("/client_download/VURuv/files/InstallFile/OBS-Studio-21.0.1-Full-Installer.exe");
        const QByteArray served = kytest::readFile(kytest::sandboxDir() + QStringLiteral("/www") + path);
        QVERIFY(served.size() > 1000);
        // The later rule serves the first request: cut at half, then the
        // rest stalls a quarter of the way in.
        QVERIFY(m_server.addRule(rule(path, {{QStringLiteral("stall_after"), served.size() / 8}, {QStringLiteral("times"), 1}})));
        QVERIFY(m_server.addRule(rule(path, {{QStringLiteral("short"), served.size() / 2}, {QStringLiteral("times"), 1}})));
        PoolRecorder rec(mgr());
        QElapsedTimer clock;
        clock.start();
        download(rec, path, false, quickStall());
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(rec.endings(QStringLiteral("d")), QStringList({QStringLiteral("finished"), QStringLiteral("done")}));
        QCOMPARE(kytest::readFile(dir() + QStringLiteral("/OBS-Studio-21.0.1-Full-Installer.exe")), served);
        QCOMPARE(collapsed(m_server.rangesAsked(path)).size(), 3);
    }

    // A cut after bytes arrived is taken up at once: the server is there.
    // The pause is for requests that brought nothing, and grows with each
    // of them in a row.
    void theRestIsAskedForAtOnceAfterACut()
    {
        const QString path = QStringLiteral("/gen/100000/a.bin");
        QVERIFY(m_server.addRule(rule(path, {{QStringLiteral("status"), 503}, {QStringLiteral("body"), QString()},
                                             {QStringLiteral("times"), 2}})));
        QVERIFY(m_server.addRule(rule(path, {{QStringLiteral("short"), 50000}, {QStringLiteral("times"), 1}})));
        PoolRecorder rec(mgr());
        LogCapture log;
        download(rec, path);
        QCOMPARE(rec.endings(QStringLiteral("d")), QStringList({QStringLiteral("finished"), QStringLiteral("done")}));
        QCOMPARE(kytest::readFile(dir() + QStringLiteral("/a.bin")), generated(100000));
        QStringList tries;
        const QRegularExpression tryLine(QStringLiteral("; (try \\d of 3 .*)$"));
        for (const QString &line : log.take()) {
            const QRegularExpressionMatch match = tryLine.match(line);
            if (match.hasMatch())
                tries << match.captured(1);
        }
        QCOMPARE(tries, QStringList({QStringLiteral("try 1 of 3 at once"), QStringLiteral("try 2 of 3 in 250 ms"),
                                     QStringLiteral("try 3 of 3 in 750 ms")}));
        QCOMPARE(m_server.rangesAsked(path).mid(0, 2), QStringList({QString(), QStringLiteral("bytes=50000-")}));
    }

    // Three cuts are taken up; a server that keeps cutting makes the download
    // fail after the third try, leaving no temporary file and the older
    // target.
    void givesUpAfterThreeRetries()
    {
        const QString path = QStringLiteral("/gen/100000/g.bin");
        QVERIFY(kytest::writeFile(dir() + QStringLiteral("/g.bin"), "old"));
        QJsonObject cut = rule(path, {{QStringLiteral("short"), 10000}, {QStringLiteral("times"), 3}});
        QVERIFY(m_server.addRule(cut));
        {
            PoolRecorder rec(mgr());
            download(rec, path, true);
            QCOMPARE(rec.endings(QStringLiteral("d")), QStringList({QStringLiteral("finished"), QStringLiteral("done")}));
            QCOMPARE(kytest::readFile(dir() + QStringLiteral("/g.bin")), generated(100000));
        }
        QVERIFY(kytest::writeFile(dir() + QStringLiteral("/g.bin"), "old"));
        cut.remove(QStringLiteral("times"));
        QVERIFY(m_server.reset());
        QVERIFY(m_server.addRule(cut));
        PoolRecorder rec(mgr());
        LogCapture log;
        download(rec, path, true);
        QCOMPARE(rec.endings(QStringLiteral("d")), QStringList({QStringLiteral("failed"), QStringLiteral("done")}));
        QVERIFY(log.contains(QStringLiteral("by tq download d failed")));
        QCOMPARE(kytest::readFile(dir() + QStringLiteral("/g.bin")), QByteArray("old"));
        QCOMPARE(leftovers(), QStringList{QStringLiteral("g.bin")});
        QCOMPARE(collapsed(m_server.rangesAsked(path)),
                 QStringList({QString(), QStringLiteral("bytes=10000-"), QStringLiteral("bytes=20000-"),
                              QStringLiteral("bytes=30000-")}));
    }

    // The server cannot continue the file: it ignores the range, the file
    // changed (If-Range gets the whole new file), or it sends a part of
    // another version. The download starts over from zero, once, and still
    // ends as one download with the right bytes.
    void aFileThatCannotBeContinuedStartsOver_data()
    {
        QTest::addColumn<QJsonObject>("lasting");
        QTest::addColumn<QStringList>("requests");
        const QString path = QStringLiteral("/gen/150000/o.bin");
        const QStringList rangeAnsweredWhole{QString(), QStringLiteral("bytes=90000-")};
        QTest::newRow("range ignored") << rule(path, {{QStringLiteral("ignore_range"), true}}) << rangeAnsweredWhole;
        QTest::newRow("validator changed") << rule(path, {{QStringLiteral("etag"), QStringLiteral("\"v2\"")}})
                                           << rangeAnsweredWhole;
        QTest::newRow("part of another version") << rule(path, {{QStringLiteral("etag"), QStringLiteral("\"v2\"")},
                                                                {QStringLiteral("ignore_if_range"), true}})
                                                 << QStringList{QString(), QStringLiteral("bytes=90000-"), QString()};
    }

    void aFileThatCannotBeContinuedStartsOver()
    {
        QFETCH(QJsonObject, lasting);
        QFETCH(QStringList, requests);
        const QString path = QStringLiteral("/gen/150000/o.bin");
        QVERIFY(m_server.addRule(lasting));
        // Rules added later are matched first: the first answer is cut.
        QVERIFY(m_server.addRule(rule(path, {{QStringLiteral("short"), 90000}, {QStringLiteral("times"), 1}})));
        PoolRecorder rec(mgr());
        download(rec, path);
        QCOMPARE(rec.endings(QStringLiteral("d")), QStringList({QStringLiteral("finished"), QStringLiteral("done")}));
        QCOMPARE(kytest::readFile(dir() + QStringLiteral("/o.bin")), generated(150000));
        QCOMPARE(collapsed(m_server.rangesAsked(path)), requests);
        QVERIFY(nonDecreasing(rec.percents.value(QStringLiteral("d"))));
    }

    // A server that answers every range with the whole file lets the
    // download start over once only.
    void startsOverOnlyOnce()
    {
        const QString path = QStringLiteral("/gen/150000/once.bin");
        QVERIFY(m_server.addRule(rule(path, {{QStringLiteral("ignore_range"), true}, {QStringLiteral("short"), 90000}})));
        PoolRecorder rec(mgr());
        download(rec, path);
        QCOMPARE(rec.endings(QStringLiteral("d")), QStringList({QStringLiteral("failed"), QStringLiteral("done")}));
        QCOMPARE(collapsed(m_server.rangesAsked(path)), QStringList({QString(), QStringLiteral("bytes=90000-")}));
        QCOMPARE(leftovers(), QStringList());
    }

    // Nothing ever arrives: the stall bound ends the download, cleanly and
    // in bounded time, with a log line that says so.
    void aSilentServerFailsWithinTheStallBound()
    {
        const QString path = QStringLiteral("/gen/50000/s.bin");
        QVERIFY(m_server.addRule(rule(path, {{QStringLiteral("stall_after"), 0}, {QStringLiteral("stall_seconds"), 10}})));
        PoolRecorder rec(mgr());
        LogCapture log;
        QElapsedTimer clock;
        clock.start();
        download(rec, path, false, quickStall());
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(rec.endings(QStringLiteral("d")), QStringList({QStringLiteral("failed"), QStringLiteral("done")}));
        QVERIFY2(log.text().contains(QStringLiteral("by tq download d stalled")), qPrintable(log.text()));
        QCOMPARE(leftovers(), QStringList());
    }

    // Cancel while the downloader waits to ask again: everything goes at
    // once, no failure is reported and no request follows.
    void cancelDuringThePauseBeforeAnotherTry()
    {
        const QString path = QStringLiteral("/gen/100000/c.bin");
        QVERIFY(m_server.addRule(rule(path, {{QStringLiteral("status"), 503}, {QStringLiteral("body"), QString()}})));
        QVERIFY(m_server.addRule(rule(path, {{QStringLiteral("short"), 50000}, {QStringLiteral("times"), 1}})));
        PoolRecorder rec(mgr());
        QCOMPARE(mgr()->startDownload(QStringLiteral("d"), m_server.url(path), dir(), false), int(DOWNLOAD_STARTED));
        // The 503 brings nothing, so the next try waits long enough to cancel.
        QTRY_COMPARE_WITH_TIMEOUT(collapsed(m_server.rangesAsked(path)).size(), 2, 10000);
        QTest::qWait(100);
        const int asked = m_server.rangesAsked(path).size();
        mgr()->cancelDownload(QStringLiteral("d"));
        QCOMPARE(rec.endings(QStringLiteral("d")), QStringList{QStringLiteral("done")});
        QCOMPARE(leftovers(), QStringList());
        // Longer than the pause that was running.
        QTest::qWait(1200);
        QCOMPARE(m_server.rangesAsked(path).size(), asked);
        QCOMPARE(rec.endings(QStringLiteral("d")), QStringList{QStringLiteral("done")});
    }

    // Bodies that are not the file asked for never replace the target.
    void wrongBodiesAreNotKept_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonObject>("answer");
        QTest::addColumn<QString>("why");
        const QString exe = QStringLiteral("/gen/100/setup.exe");
        const QString zip = QStringLiteral("/gen/100/module.zip");
        const QString ini = QStringLiteral("/gen/100/version.ini");
        QTest::newRow("HTML 200 instead of the installer")
            << exe << rule(exe, {{QStringLiteral("body"), QStringLiteral("<html><body>Service busy</body></html>")},
                                 {QStringLiteral("content_type"), QStringLiteral("text/html; charset=utf-8")}})
            << QStringLiteral("served as an HTML page");
        QTest::newRow("installer without a program header")
            << exe << rule(exe, {{QStringLiteral("body"), QStringLiteral("not a program")}}) << QStringLiteral("not a program");
        QTest::newRow("zip without its header")
            << zip << rule(zip, {{QStringLiteral("body"), QStringLiteral("garbage")}}) << QStringLiteral("not a zip archive");
        QTest::newRow("error page served as data")
            << ini << rule(ini, {{QStringLiteral("body"), QStringLiteral("\n <!DOCTYPE html><title>Login</title>")}})
            << QStringLiteral("an HTML page");
    }

    void wrongBodiesAreNotKept()
    {
        QFETCH(QString, path);
        QFETCH(QJsonObject, answer);
        QFETCH(QString, why);
        const QString target = dir() + path.mid(path.lastIndexOf(QLatin1Char('/')));
        QVERIFY(kytest::writeFile(target, "MZPK older target"));
        QVERIFY(m_server.addRule(answer));
        PoolRecorder rec(mgr());
        LogCapture log;
        download(rec, path, true);
        QCOMPARE(rec.endings(QStringLiteral("d")), QStringList({QStringLiteral("failed"), QStringLiteral("done")}));
        QVERIFY2(log.text().contains(QStringLiteral("kyoro.download: d: ") + why), qPrintable(log.text()));
        QCOMPARE(kytest::readFile(target), QByteArray("MZPK older target"));
        QCOMPARE(leftovers().size(), 1);
    }

    // An installer on disk that fails the same checks (an error page kept by
    // an earlier version, a cut file) is downloaded again instead of being
    // run; a good one is reused.
    void aBadFileOnDiskIsDownloadedAgain()
    {
        const QString path = QStringLiteral("/client_download/VURuv/files/InstallFile/OBS-Studio-21.0.1-Full-Installer.exe");
        const QString target = dir() + QStringLiteral("/OBS-Studio-21.0.1-Full-Installer.exe");
        const QByteArray program = kytest::readFile(kytest::sandboxDir() + QStringLiteral("/www") + path);
        QVERIFY(kytest::writeFile(target, "<html>Service busy</html>"));
        PoolRecorder rec(mgr());
        LogCapture log;
        // The whole installer, on a loaded machine too: the usual stall bound.
        download(rec, path, false, KyDownloadLimits());
        QCOMPARE(rec.endings(QStringLiteral("d")), QStringList({QStringLiteral("finished"), QStringLiteral("done")}));
        QVERIFY2(log.text().contains(QStringLiteral("the file there is an HTML page")), qPrintable(log.text()));
        QCOMPARE(kytest::readFile(target), program);

        const int asked = m_server.rangesAsked(path).size();
        QCOMPARE(mgr()->startDownload(QStringLiteral("again"), m_server.url(path), dir(), false), int(DOWNLOAD_FILE_EXISTS));
        QCOMPARE(m_server.rangesAsked(path).size(), asked);
    }

    // A capped download fails as soon as the server announces more, or as
    // soon as more arrived when it announces nothing; nothing is kept.
    void aCappedDownloadStopsAtItsCap_data()
    {
        QTest::addColumn<bool>("announced");
        QTest::newRow("announced length") << true;
        QTest::newRow("no length") << false;
    }

    void aCappedDownloadStopsAtItsCap()
    {
        QFETCH(bool, announced);
        const QString path = QStringLiteral("/gen/4000000/big.ini");
        if (!announced)
            QVERIFY(m_server.addRule(rule(path, {{QStringLiteral("nolength"), true}})));
        KyDownloadLimits limits;
        limits.maxBytes = 64 * 1024;
        PoolRecorder rec(mgr());
        download(rec, path, false, limits);
        QCOMPARE(rec.endings(QStringLiteral("d")), QStringList({QStringLiteral("failed"), QStringLiteral("done")}));
        QCOMPARE(leftovers(), QStringList());
    }
};

KY_TEST_GUILESS_MAIN(TestDownloadResume)
#include "testdownloadresume.moc"
