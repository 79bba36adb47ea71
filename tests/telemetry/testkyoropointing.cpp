#include "kytestmain.h"
#include "sandboxserver.h"
#include "common/kyhosts.h"
#include "common/kypaths.h"
#include "telemetry/kyoropointing.h"
#include "telemetry/kysysteminfo.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpServer>

namespace {
QStringList &captured()
{
    static QStringList messages;
    return messages;
}

QtMessageHandler s_previous = nullptr;

void capture(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtDebugMsg)
        captured().append(message);
    if (s_previous)
        s_previous(type, context, message);
}

QStringList pointingErrors()
{
    QStringList errors;
    for (const QString &message : qAsConst(captured())) {
        if (message.startsWith(QLatin1String("by mrwo")))
            errors << message;
    }
    return errors;
}
} // namespace

// Events posted to a real local collector and decoded there, and the handling
// of the collector's replies.
class TestKyoroPointing : public QObject
{
    Q_OBJECT

private:
    SandboxServer m_server;
    QString m_versionFile;

    QJsonObject waitForRecord(const QString &name)
    {
        QDeadlineTimer deadline(15000);
        QJsonObject found;
        while ((found = recordNamed(name)).isEmpty() && !deadline.hasExpired())
            QTest::qWait(20);
        return found;
    }

    QJsonObject recordNamed(const QString &name) const
    {
        const QList<QJsonObject> records = m_server.collectorEvents();
        for (const QJsonObject &record : records) {
            if (record.value(QStringLiteral("envelope")).toObject().value(QStringLiteral("ac")).toString() == name)
                return record;
        }
        return QJsonObject();
    }

private slots:
    void initTestCase()
    {
        // The reporter takes the program's version from deault.data beside it.
        m_versionFile = appVersionFilePath();
        QVERIFY(kytest::writeFile(m_versionFile, "[Version]\nversion=V9.8.7\n"));
        QVERIFY(m_server.start());
        s_previous = qInstallMessageHandler(capture);
    }

    void cleanupTestCase()
    {
        qInstallMessageHandler(s_previous);
        QFile::remove(m_versionFile);
    }

    void init()
    {
        captured().clear();
        QVERIFY(m_server.clearRules());
    }

    void eventTable_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("page");
        QTest::newRow("0") << 0 << "startup_loading" << "com_module";
        QTest::newRow("1") << 1 << "endup_quit" << "com_module";
        QTest::newRow("2") << 2 << "init_page_home" << "page_home";
        QTest::newRow("3") << 3 << "click_install" << "page_home";
        QTest::newRow("4") << 4 << "click_install_succ" << "page_home";
        QTest::newRow("5") << 5 << "click_livetool_open" << "page_home";
        QTest::newRow("6") << 6 << "click_introduce" << "page_home";
        QTest::newRow("7") << 7 << "click_cust" << "page_home";
        QTest::newRow("8") << 8 << "click_stream_get" << "page_home";
        QTest::newRow("9") << 9 << "click_stream_fillin" << "page_home";
        QTest::newRow("10") << 10 << "" << "";
        QTest::newRow("-1") << -1 << "" << "";
    }

    void eventTable()
    {
        QFETCH(int, index);
        QFETCH(QString, name);
        QFETCH(QString, page);
        QCOMPARE(eventName(index), name);
        const PointingEvent event = pointingEvent(index);
        QCOMPARE(event.name, name);
        QCOMPARE(event.page, page);
        QCOMPARE(event.ct, QStringLiteral("web_vuruv"));
        QCOMPARE(event.pro, QStringLiteral("host_site"));
        QCOMPARE(event.rid, 0);
        QCOMPARE(event.i, 0);
    }

    void collectorAddress()
    {
        qunsetenv("KYORO_PLATFORM_URL");
        const QUrl builtIn(pointingEvent(POINTING_CLICK_CUST).url);
        qputenv("KYORO_PLATFORM_URL", m_server.baseUrl().toUtf8());
        QCOMPARE(builtIn.scheme(), QStringLiteral("https"));
        QCOMPARE(builtIn.path(), QStringLiteral("/deliver/lark2"));
        QCOMPARE(pointingEvent(POINTING_CLICK_CUST).url, m_server.url(QStringLiteral("/deliver/lark2")));
    }

    // The caller's parameter comes first, then the machine description.
    void parameters()
    {
        const PointingEvent quit = pointingEvent(POINTING_ENDUP_QUIT, QStringLiteral("type"), 1);
        QCOMPARE(quit.params.size(), 2);
        QCOMPARE(quit.params[0].first, QStringLiteral("type"));
        QCOMPARE(quit.params[0].second, QJsonValue(1));
        QCOMPARE(quit.params[1].first, QStringLiteral("pc_os"));

        const PointingEvent start = pointingEvent(POINTING_STARTUP_LOADING);
        QStringList keys;
        for (const auto &param : start.params)
            keys << param.first;
        QCOMPARE(keys, (QStringList{"pc_os", "cpu_num", "cpu_mod", "cpu_freq", "cpu_ven", "vc_mod"}));
        QVERIFY(start.params[1].second.isDouble());
        QVERIFY(start.params[3].second.isDouble());
        QCOMPARE(start.params[5].second, QJsonValue(graphicsAdapters().value(0)));

        QVERIFY(pointingEvent(POINTING_CLICK_CUST).params.isEmpty());
        QCOMPARE(pointingEvent(POINTING_CLICK_INSTALL, QStringLiteral("type"), 4).params.size(), 1);
    }

    // Base64 is sent as it is: "+", "/" and "=" are not percent-encoded.
    void requestBody()
    {
        QCOMPARE(KyoroPointing::requestBody("\xfb\xff"), QByteArray("multi=+/8=&v=1.0"));
    }

    // What the collector received decodes to exactly the JSON the reporter
    // built and logged, with the envelope's keys, types and values.
    void eventsReachTheCollector()
    {
        QSignalSpy handled(KyoroPointing::instance(), &KyoroPointing::sglPointingResultHandled);
        reportEvent(POINTING_STARTUP_LOADING);
        reportEvent(POINTING_ENDUP_QUIT, QStringLiteral("type"), 1);
        reportEvent(POINTING_CLICK_CUST);
        reportEvent(POINTING_CLICK_INSTALL, QStringLiteral("type"), 4);

        QString os;
        osName(os);
        QString model;
        QString vendor;
        int count = 0;
        int mhz = 0;
        cpuInfo(model, vendor, count, mhz);
        const QHash<QString, QJsonObject> expectedE{
            {QStringLiteral("startup_loading"),
             QJsonObject{{"pc_os", os}, {"cpu_num", count}, {"cpu_mod", model}, {"cpu_freq", mhz},
                         {"cpu_ven", vendor}, {"vc_mod", graphicsAdapters().value(0)}}},
            {QStringLiteral("endup_quit"), QJsonObject{{"pc_os", os}, {"type", 1}}},
            {QStringLiteral("click_cust"), QJsonObject{}},
            {QStringLiteral("click_install"), QJsonObject{{"type", 4}}},
        };
        const QStringList keys{"ac", "av", "ct", "d", "dur", "e", "i", "oct", "pc", "pro", "pt", "rid", "rpc"};

        for (auto it = expectedE.cbegin(); it != expectedE.cend(); ++it) {
            const QJsonObject record = waitForRecord(it.key());
            QVERIFY2(!record.isEmpty(), qPrintable(it.key()));
            const QByteArray json = record.value(QStringLiteral("json")).toString().toUtf8();
            QVERIFY2(captured().contains(QString::fromUtf8(json)), json.constData());
            QCOMPARE(record.value(QStringLiteral("raw")).toString().toLatin1(), KyoroPointing::requestBody(json));
            QCOMPARE(record.value(QStringLiteral("content_type")).toString(), QStringLiteral("application/x-www-form-urlencoded"));

            const QJsonObject envelope = record.value(QStringLiteral("envelope")).toObject();
            QCOMPARE(envelope.keys(), keys);
            QVERIFY(json.startsWith("{\"ac\":\"" + it.key().toUtf8() + "\",\"av\":\"V9.8.7\",\"ct\":\"web_vuruv\",\"d\":"));
            QCOMPARE(envelope.value(QStringLiteral("d")).toString(), KyoroPointing::findDeviceId());
            QCOMPARE(envelope.value(QStringLiteral("e")).toObject(), it.value());
            const QString page = it.key().startsWith(QLatin1String("click")) ? QStringLiteral("page_home") : QStringLiteral("com_module");
            QCOMPARE(envelope.value(QStringLiteral("pc")).toString(), page);
            QCOMPARE(envelope.value(QStringLiteral("rpc")).toString(), page);
            QCOMPARE(envelope.value(QStringLiteral("pro")).toString(), QStringLiteral("host_site"));
            for (const char *zero : {"dur", "i", "rid"}) {
                QVERIFY(envelope.value(QLatin1String(zero)).isDouble());
                QCOMPARE(envelope.value(QLatin1String(zero)).toInt(-1), 0);
            }
            const qint64 pt = qint64(envelope.value(QStringLiteral("pt")).toDouble());
            const qint64 oct = qint64(envelope.value(QStringLiteral("oct")).toDouble());
            QVERIFY(qAbs(pt - QDateTime::currentMSecsSinceEpoch()) < 60000);
            QVERIFY(pt <= oct);
            // Milliseconds are written as whole numbers, not in exponent form.
            QVERIFY(json.contains("\"pt\":" + QByteArray::number(pt) + ','));
        }
        QTRY_COMPARE_WITH_TIMEOUT(handled.count(), 4, 15000);
        QVERIFY(pointingErrors().isEmpty());
    }

    // The start event is built on a worker thread. Whatever is reported
    // meanwhile waits and is sent after it in the order reported, a second
    // start event among them holding back the ones after it again.
    void eventsWaitForTheStartEventInOrder()
    {
        QSignalSpy handled(KyoroPointing::instance(), &KyoroPointing::sglPointingResultHandled);
        reportEvent(POINTING_STARTUP_LOADING);
        reportEvent(POINTING_CLICK_CUST);
        reportEvent(POINTING_CLICK_INSTALL, QStringLiteral("type"), 4);
        reportEvent(POINTING_STARTUP_LOADING);
        reportEvent(POINTING_CLICK_INTRODUCE);
        QTRY_COMPARE_WITH_TIMEOUT(handled.count(), 5, 15000);

        // The order they were handed to the network, as logged by send.
        QStringList sent;
        QList<QJsonObject> starts;
        for (const QString &message : qAsConst(captured())) {
            const QJsonObject envelope = QJsonDocument::fromJson(message.toUtf8()).object();
            if (envelope.isEmpty())
                continue;
            sent << envelope.value(QStringLiteral("ac")).toString();
            if (sent.constLast() == QLatin1String("startup_loading"))
                starts << envelope.value(QStringLiteral("e")).toObject();
        }
        QCOMPARE(sent, (QStringList{"startup_loading", "click_cust", "click_install", "startup_loading", "click_introduce"}));
        QCOMPARE(starts.size(), 2);
        QCOMPARE(starts[0].keys(), (QStringList{"cpu_freq", "cpu_mod", "cpu_num", "cpu_ven", "pc_os", "vc_mod"}));
        QCOMPARE(starts[1], starts[0]);
        QVERIFY(pointingErrors().isEmpty());
    }

    // A reporter torn down while the start event and others wait for the
    // machine's description ends its worker with it (under the sanitizers a
    // worker left behind writes into freed memory or leaks); the next
    // reporter starts clean.
    void teardownWhileDescribing()
    {
        reportEvent(POINTING_STARTUP_LOADING);
        reportEvent(POINTING_CLICK_CUST);
        KyoroPointing::destroyInstance();

        QSignalSpy handled(KyoroPointing::instance(), &KyoroPointing::sglPointingResultHandled);
        reportEvent(POINTING_CLICK_STREAM_FILLIN);
        QTRY_COMPARE_WITH_TIMEOUT(handled.count(), 1, 15000);
        QVERIFY(m_server.eventNames().contains(QStringLiteral("click_stream_fillin")));
    }

    // The sandbox collector keeps a body that does not decode and answers it
    // as rejected, so a broken event cannot pass unnoticed.
    void collectorRejectsWhatDoesNotDecode()
    {
        int status = 0;
        const QByteArray answer = SandboxServer::httpRequest(m_server.port(), "POST", QStringLiteral("/deliver/lark2"),
                                                             "multi=bm90IGpzb24=&v=1.0", &status);
        QCOMPARE(status, 200);
        const QJsonObject reply = QJsonDocument::fromJson(answer).object();
        QCOMPARE(reply.value(QStringLiteral("error")).toInt(), 1);
        QVERIFY(reply.value(QStringLiteral("msg")).toString().startsWith(QLatin1String("bad event: ")));
        const QJsonObject record = m_server.collectorEvents().constLast();
        QCOMPARE(record.value(QStringLiteral("raw")).toString(), QStringLiteral("multi=bm90IGpzb24=&v=1.0"));
        QVERIFY(record.contains(QStringLiteral("error")));
        QVERIFY(!record.contains(QStringLiteral("envelope")));
    }

    void deviceId()
    {
        const QString id = KyoroPointing::findDeviceId();
        QVERIFY2(id.isEmpty() || QRegularExpression(QStringLiteral("^([0-9A-F]{2}:){5}[0-9A-F]{2}$")).match(id).hasMatch(),
                 qPrintable(id));
    }

    void replies_data()
    {
        QTest::addColumn<QJsonObject>("rule");
        QTest::addColumn<QStringList>("logged");
        const QString unexpected = QStringLiteral("by mrwo, Kyoro pointing error: unexpected HTTP response");
        auto body = [](const char *text) { return QJsonObject{{"path", "/deliver/lark2"}, {"body", text}, {"times", 1}}; };
        QTest::newRow("success") << body(R"({"error":0})") << QStringList();
        QTest::newRow("error with message") << body(R"({"error":3,"msg":"bad"})") << QStringList{"by mrwo, Kyoro pointing error: bad"};
        QTest::newRow("negative error") << body(R"({"error":-1,"msg":"neg"})") << QStringList{unexpected};
        QTest::newRow("error as text") << body(R"({"error":"0"})") << QStringList{unexpected};
        QTest::newRow("error without message") << body(R"({"error":3})") << QStringList{unexpected};
        QTest::newRow("fractional error") << body(R"({"error":0.5})") << QStringList{unexpected};
        QTest::newRow("not JSON") << body("<html>busy</html>") << QStringList{unexpected};
        QTest::newRow("array") << body("[0]") << QStringList{unexpected};
        QJsonObject failed = body("");
        failed.insert(QStringLiteral("status"), 503);
        QTest::newRow("HTTP error") << failed << QStringList{unexpected};
    }

    void replies()
    {
        QFETCH(QJsonObject, rule);
        QFETCH(QStringList, logged);
        QVERIFY(m_server.addRule(rule));
        QSignalSpy handled(KyoroPointing::instance(), &KyoroPointing::sglPointingResultHandled);
        reportEvent(POINTING_CLICK_INTRODUCE);
        QTRY_COMPARE_WITH_TIMEOUT(handled.count(), 1, 15000);
        QCOMPARE(pointingErrors(), logged);
    }

    void noCollector()
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        const quint16 port = closed.serverPort();
        closed.close();
        qputenv("KYORO_PLATFORM_URL", QByteArrayLiteral("http://127.0.0.1:") + QByteArray::number(port));
        QSignalSpy handled(KyoroPointing::instance(), &KyoroPointing::sglPointingResultHandled);
        reportEvent(POINTING_CLICK_STREAM_GET);
        qputenv("KYORO_PLATFORM_URL", m_server.baseUrl().toUtf8());
        QTRY_COMPARE_WITH_TIMEOUT(handled.count(), 1, 15000);
        QCOMPARE(pointingErrors(), QStringList{"by mrwo, Kyoro pointing error: unexpected HTTP response"});
        QVERIFY(!m_server.eventNames().contains(QStringLiteral("click_stream_get")));
    }
};

KY_TEST_GUILESS_MAIN(TestKyoroPointing)
#include "testkyoropointing.moc"
