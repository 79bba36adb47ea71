#include "downloadrecorder.h"
#include "kytestmain.h"
#include "logictestsupport.h"
#include "sandboxserver.h"

#include "common/kyconstants.h"
#include "download/kyfiledownloader.h"
#include "download/kyfiledownloadermgr.h"

#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

using kytest::LogCapture;

using kytest::generated;
using kytest::PoolRecorder;
using kytest::rule;

class TestFileDownloader : public QObject
{
    Q_OBJECT

private:
    SandboxServer m_server;
    QTemporaryDir *m_dir = nullptr;
    KyFileDownloaderMgr *mgr() { return KyFileDownloaderMgr::instance(); }
    QString dir() const { return m_dir->path(); }

private slots:
    void initTestCase() { QVERIFY(m_server.start()); }

    void init()
    {
        m_dir = new QTemporaryDir(kytest::testRoot() + QStringLiteral("/dl-XXXXXX"));
        QVERIFY(m_server.clearRules());
    }

    void cleanup()
    {
        KyFileDownloaderMgr::destroyInstance();
        delete m_dir;
        m_dir = nullptr;
    }

    void downloadsIntoTargetAndReportsInOrder()
    {
        PoolRecorder rec(mgr());
        QCOMPARE(mgr()->startDownload(QStringLiteral("a"), m_server.url(QStringLiteral("/gen/300000/a.bin")), dir(), false),
                 int(DOWNLOAD_STARTED));
        QVERIFY(mgr()->downloadProgress(QStringLiteral("a")) >= 0);
        QTRY_VERIFY_WITH_TIMEOUT(rec.events.contains(QStringLiteral("done a")), 20000);

        QCOMPARE(rec.endings(QStringLiteral("a")), QStringList({QStringLiteral("finished"), QStringLiteral("done")}));
        QCOMPARE(rec.files.value(QStringLiteral("a")), dir() + QStringLiteral("/a.bin"));
        QCOMPARE(kytest::readFile(dir() + QStringLiteral("/a.bin")), generated(300000));
        QVERIFY(!QFile::exists(dir() + QStringLiteral("/a.bin.download")));
        QCOMPARE(rec.of(QStringLiteral("progress"), QStringLiteral("a")).last(), QStringLiteral("progress a 100"));
        QCOMPARE(mgr()->downloadProgress(QStringLiteral("a")), -1);
        // The name is free again.
        QCOMPARE(mgr()->startDownload(QStringLiteral("a"), m_server.url(QStringLiteral("/gen/10/a.bin")), dir(), false),
                 int(DOWNLOAD_FILE_EXISTS));
    }

    // The reply holds a bounded amount of data: a file many times that size
    // must still arrive whole when the GUI thread falls behind the network
    // (guards against a transfer that stalls or loses data once the bound
    // is reached).
    void largeFileArrivesWholeWhileTheGuiThreadIsBusy()
    {
        PoolRecorder rec(mgr());
        const int size = 6 * 1024 * 1024 + 123;
        QCOMPARE(mgr()->startDownload(QStringLiteral("big"), m_server.url(QStringLiteral("/gen/%1/big.bin").arg(size)), dir(), false),
                 int(DOWNLOAD_STARTED));
        // The GUI thread is held up again and again while the network thread
        // keeps receiving.
        int stalls = 0;
        QTimer busy;
        connect(&busy, &QTimer::timeout, this, [&]() {
            QThread::msleep(30);
            if (++stalls == 10)
                busy.stop();
        });
        busy.start(0);
        QTRY_VERIFY_WITH_TIMEOUT(rec.events.contains(QStringLiteral("done big")), 60000);
        QCOMPARE(rec.endings(QStringLiteral("big")), QStringList({QStringLiteral("finished"), QStringLiteral("done")}));
        QCOMPARE(kytest::readFile(dir() + QStringLiteral("/big.bin")), generated(size));
    }

    void queryStringStaysInFileName()
    {
        PoolRecorder rec(mgr());
        if (kytest::windowsBuild()) {
            // No Windows file name holds a "?": refused at the start, and
            // nothing is left behind.
            QCOMPARE(mgr()->startDownload(QStringLiteral("q"), m_server.url(QStringLiteral("/gen/1000/q.bin?v=2")), dir(), false),
                     int(DOWNLOAD_ERROR));
            QCOMPARE(mgr()->downloadProgress(QStringLiteral("q")), -1);
            QVERIFY(QDir(dir()).entryList(QDir::Files).filter(QStringLiteral("q.bin")).isEmpty());
            return;
        }
        QCOMPARE(mgr()->startDownload(QStringLiteral("q"), m_server.url(QStringLiteral("/gen/1000/q.bin?v=2")), dir(), false),
                 int(DOWNLOAD_STARTED));
        QTRY_VERIFY_WITH_TIMEOUT(rec.events.contains(QStringLiteral("done q")), 20000);
        QCOMPARE(rec.files.value(QStringLiteral("q")), dir() + QStringLiteral("/q.bin?v=2"));
        QCOMPARE(kytest::readFile(dir() + QStringLiteral("/q.bin?v=2")).size(), 1000);
    }

    void existingTargetWithoutForceFetchesNothing()
    {
        QVERIFY(kytest::writeFile(dir() + QStringLiteral("/old.bin"), "old"));
        PoolRecorder rec(mgr());
        QCOMPARE(mgr()->startDownload(QStringLiteral("e"), m_server.url(QStringLiteral("/gen/100/old.bin")), dir(), false),
                 int(DOWNLOAD_FILE_EXISTS));
        // Back in the pool at once, without a request.
        QCOMPARE(rec.endings(QStringLiteral("e")), QStringList{QStringLiteral("done")});
        QCOMPARE(mgr()->downloadProgress(QStringLiteral("e")), -1);
        QVERIFY(m_server.requests().filter(QStringLiteral("old.bin")).isEmpty());
        QCOMPARE(kytest::readFile(dir() + QStringLiteral("/old.bin")), QByteArray("old"));
    }

    // The old target stays in place until the new one is complete; a stale
    // temporary file of an earlier run does not end up in the result.
    void forceReplacesTargetOnlyAfterSuccess()
    {
        const QString target = dir() + QStringLiteral("/f.bin");
        QVERIFY(kytest::writeFile(target, "old"));
        QVERIFY(kytest::writeFile(target + QStringLiteral(".download"), "stale stale stale"));
        QVERIFY(m_server.addRule(rule(QStringLiteral("/gen/40000/f.bin"), {{QStringLiteral("slow"), 40000}})));
        PoolRecorder rec(mgr());
        QCOMPARE(mgr()->startDownload(QStringLiteral("f"), m_server.url(QStringLiteral("/gen/40000/f.bin")), dir(), true),
                 int(DOWNLOAD_STARTED));
        QTRY_VERIFY_WITH_TIMEOUT(!rec.of(QStringLiteral("progress"), QStringLiteral("f")).isEmpty(), 10000);
        QCOMPARE(kytest::readFile(target), QByteArray("old"));
        QTRY_VERIFY_WITH_TIMEOUT(rec.events.contains(QStringLiteral("done f")), 20000);
        QCOMPARE(rec.endings(QStringLiteral("f")), QStringList({QStringLiteral("finished"), QStringLiteral("done")}));
        QCOMPARE(kytest::readFile(target), generated(40000));
        QVERIFY(!QFile::exists(target + QStringLiteral(".download")));
    }

    // The move onto the target fails, which is a failed download that keeps
    // the old target. On Linux the temporary file disappears under the
    // transfer (a cleaner, another program); on Windows, where an open file
    // cannot be removed, another program holds the old target open (the
    // installer still running, a virus scanner).
    void failedMoveOntoTargetFailsAndKeepsOldTarget()
    {
        const QString target = dir() + QStringLiteral("/m.bin");
        QVERIFY(kytest::writeFile(target, "old"));
        QVERIFY(m_server.addRule(rule(QStringLiteral("/gen/40000/m.bin"), {{QStringLiteral("slow"), 40000}})));
        PoolRecorder rec(mgr());
        QFile holder(target);
        QCOMPARE(mgr()->startDownload(QStringLiteral("m"), m_server.url(QStringLiteral("/gen/40000/m.bin")), dir(), true),
                 int(DOWNLOAD_STARTED));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(target + QStringLiteral(".download")), 10000);
        if (kytest::windowsBuild())
            QVERIFY(holder.open(QIODevice::ReadOnly));
        else
            QVERIFY(QFile::remove(target + QStringLiteral(".download")));
        LogCapture log;
        QTRY_VERIFY_WITH_TIMEOUT(rec.events.contains(QStringLiteral("done m")), 20000);
        QCOMPARE(rec.endings(QStringLiteral("m")), QStringList({QStringLiteral("failed"), QStringLiteral("done")}));
        QVERIFY(log.contains(QStringLiteral("by tq download m failed")));
        QCOMPARE(kytest::readFile(target), QByteArray("old"));
        QVERIFY(!QFile::exists(target + QStringLiteral(".download")));
    }

    void serverWithoutLengthReportsZeroUntilTheEnd()
    {
        QVERIFY(m_server.addRule(rule(QStringLiteral("/gen/50000/n.bin"),
                                      {{QStringLiteral("nolength"), true}, {QStringLiteral("slow"), 100000}})));
        PoolRecorder rec(mgr());
        QCOMPARE(mgr()->startDownload(QStringLiteral("n"), m_server.url(QStringLiteral("/gen/50000/n.bin")), dir(), false),
                 int(DOWNLOAD_STARTED));
        QTRY_VERIFY_WITH_TIMEOUT(rec.events.contains(QStringLiteral("done n")), 20000);
        // The length is known only with the last reports (the body's end and
        // the request that confirms nothing follows it).
        QStringList progress = rec.of(QStringLiteral("progress"), QStringLiteral("n"));
        QVERIFY(progress.size() > 1);
        while (progress.size() > 1 && progress.last() == QStringLiteral("progress n 100"))
            progress.removeLast();
        for (const QString &p : qAsConst(progress))
            QCOMPARE(p, QStringLiteral("progress n 0"));
        QCOMPARE(rec.endings(QStringLiteral("n")), QStringList({QStringLiteral("finished"), QStringLiteral("done")}));
        QCOMPARE(kytest::readFile(dir() + QStringLiteral("/n.bin")), generated(50000));
    }

    void redirectIsFollowed()
    {
        QVERIFY(m_server.addRule(rule(QStringLiteral("/moved/r.bin"), {{QStringLiteral("redirect"), QStringLiteral("/gen/7000/x.bin")}})));
        PoolRecorder rec(mgr());
        QCOMPARE(mgr()->startDownload(QStringLiteral("r"), m_server.url(QStringLiteral("/moved/r.bin")), dir(), false),
                 int(DOWNLOAD_STARTED));
        QTRY_VERIFY_WITH_TIMEOUT(rec.events.contains(QStringLiteral("done r")), 20000);
        QCOMPARE(rec.endings(QStringLiteral("r")), QStringList({QStringLiteral("finished"), QStringLiteral("done")}));
        // Named after the URL that was asked for.
        QCOMPARE(kytest::readFile(dir() + QStringLiteral("/r.bin")), generated(7000));
    }

    // Each of these ends with sglDownloadFailed and leaves nothing on disk.
    void failuresLeaveNoFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonObject>("serverRule");
        QTest::newRow("404 with a body") << QStringLiteral("/gen/100/e404.bin")
                                         << rule(QStringLiteral("/gen/100/e404.bin"), {{QStringLiteral("status"), 404}, {QStringLiteral("body"), QStringLiteral("<html>missing</html>")}});
        // Every answer cut: the tries run out before the file is complete.
        QTest::newRow("short body every time") << QStringLiteral("/gen/100000/short.bin")
                                               << rule(QStringLiteral("/gen/100000/short.bin"), {{QStringLiteral("short"), 5000}});
        QTest::newRow("redirect loop") << QStringLiteral("/redirect-loop/loop.bin") << QJsonObject();
        QTest::newRow("redirect without location") << QStringLiteral("/gen/100/nl.bin")
                                                   << rule(QStringLiteral("/gen/100/nl.bin"), {{QStringLiteral("status"), 302}, {QStringLiteral("body"), QString()}});
    }

    void failuresLeaveNoFile()
    {
        QFETCH(QString, path);
        QFETCH(QJsonObject, serverRule);
        if (!serverRule.isEmpty())
            QVERIFY(m_server.addRule(serverRule));
        PoolRecorder rec(mgr());
        LogCapture log;
        QCOMPARE(mgr()->startDownload(QStringLiteral("x"), m_server.url(path), dir(), false), int(DOWNLOAD_STARTED));
        QTRY_VERIFY_WITH_TIMEOUT(rec.events.contains(QStringLiteral("done x")), 20000);
        QCOMPARE(rec.endings(QStringLiteral("x")), QStringList({QStringLiteral("failed"), QStringLiteral("done")}));
        QVERIFY(log.contains(QStringLiteral("by tq download x failed")));
        QCOMPARE(mgr()->downloadProgress(QStringLiteral("x")), -1);
        QCOMPARE(QDir(dir()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void badUrlCreatesNothing()
    {
        LogCapture log;
        const QString url = QStringLiteral("http://[::1/bad.bin");
        QCOMPARE(mgr()->startDownload(QStringLiteral("b"), url, dir(), false), int(DOWNLOAD_BAD_URL));
        QVERIFY(log.contains(QStringLiteral("by tq download b failed,source not exist : ") + url));
        QCOMPARE(mgr()->downloadProgress(QStringLiteral("b")), -1);
        QCOMPARE(QDir(dir()).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void unwritableSaveDirIsAnError()
    {
        QCOMPARE(mgr()->startDownload(QStringLiteral("w"), m_server.url(QStringLiteral("/gen/10/w.bin")),
                                      dir() + QStringLiteral("/missing/folder"), false),
                 int(DOWNLOAD_ERROR));
        QCOMPARE(mgr()->downloadProgress(QStringLiteral("w")), -1);
        QCOMPARE(mgr()->startDownload(QStringLiteral("w"), m_server.url(QStringLiteral("/gen/10/w.bin")), dir(), false),
                 int(DOWNLOAD_STARTED));
    }

    void cancelLeavesNothingAndReportsNoFailure()
    {
        QVERIFY(m_server.addRule(rule(QStringLiteral("/gen/200000/c.bin"), {{QStringLiteral("slow"), 20000}})));
        PoolRecorder rec(mgr());
        QCOMPARE(mgr()->startDownload(QStringLiteral("c"), m_server.url(QStringLiteral("/gen/200000/c.bin")), dir(), false),
                 int(DOWNLOAD_STARTED));
        // A second start under the active name is refused and harms nothing.
        QCOMPARE(mgr()->startDownload(QStringLiteral("c"), m_server.url(QStringLiteral("/gen/10/other.bin")), dir(), false),
                 int(DOWNLOAD_NO_DOWNLOADER));
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(dir() + QStringLiteral("/c.bin.download")).size() > 0, 10000);
        mgr()->cancelDownload(QStringLiteral("c"));
        QCOMPARE(rec.endings(QStringLiteral("c")), QStringList{QStringLiteral("done")});
        QCOMPARE(mgr()->downloadProgress(QStringLiteral("c")), -1);
        QTest::qWait(300);
        QCOMPARE(rec.endings(QStringLiteral("c")), QStringList{QStringLiteral("done")});
        QCOMPARE(QDir(dir()).entryList(QDir::Files | QDir::Hidden), QStringList());
        mgr()->cancelDownload(QStringLiteral("c")); // no effect when not active
    }

    // All 20 lent: the 21st is refused. A cancelled downloader lent again
    // under a new name must serve only that name: nothing of its dropped
    // transfer may come back and return it to the pool.
    void poolExhaustionAndReuseAfterCancel()
    {
        PoolRecorder rec(mgr());
        for (int i = 0; i < KyFileDownloaderMgr::kPoolSize; ++i) {
            const QString path = QStringLiteral("/gen/100000/p%1.bin").arg(i);
            QVERIFY(m_server.addRule(rule(path, {{QStringLiteral("slow"), 5000}})));
            QCOMPARE(mgr()->startDownload(QStringLiteral("p%1").arg(i), m_server.url(path), dir(), false), int(DOWNLOAD_STARTED));
        }
        {
            LogCapture log;
            QCOMPARE(mgr()->startDownload(QStringLiteral("p20"), m_server.url(QStringLiteral("/gen/10/p20.bin")), dir(), false),
                     int(DOWNLOAD_NO_DOWNLOADER));
            QVERIFY(log.contains(QStringLiteral("by tq download cache is empty")));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!rec.of(QStringLiteral("progress"), QStringLiteral("p0")).isEmpty(), 10000);
        mgr()->cancelDownload(QStringLiteral("p0"));

        // Only the cancelled one is free now, so "late" gets it. Another host
        // name, so that it does not queue behind the others' connections.
        const QString lateUrl = QStringLiteral("http://localhost:%1/gen/300/late.bin").arg(m_server.port());
        QCOMPARE(mgr()->startDownload(QStringLiteral("late"), lateUrl, dir(), false),
                 int(DOWNLOAD_STARTED));
        QTRY_VERIFY_WITH_TIMEOUT(rec.events.contains(QStringLiteral("done late")), 20000);
        QCOMPARE(rec.endings(QStringLiteral("late")), QStringList({QStringLiteral("finished"), QStringLiteral("done")}));
        QCOMPARE(rec.endings(QStringLiteral("p0")), QStringList{QStringLiteral("done")});

        for (int i = 1; i < KyFileDownloaderMgr::kPoolSize; ++i) {
            QVERIFY(mgr()->downloadProgress(QStringLiteral("p%1").arg(i)) >= 0);
            mgr()->cancelDownload(QStringLiteral("p%1").arg(i));
        }
        QCOMPARE(mgr()->allDownloaders().size(), KyFileDownloaderMgr::kPoolSize);
        QCOMPARE(QDir(dir()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("late.bin")});
    }
};

KY_TEST_GUILESS_MAIN(TestFileDownloader)
#include "testfiledownloader.moc"
