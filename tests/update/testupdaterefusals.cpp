#include "kylogcapture.h"
#include "kytestmain.h"
#include "updatetestsupport.h"

#include "update/kyupdatecrypto.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

using kytest::LogCapture;
using kytest::RecordingStarter;

namespace {
const int kAnswerMs = 30000;
const QString kDescriptionPath = QStringLiteral("/client_download/VURuv/files/Update/VURuv.json");

QJsonObject object(std::initializer_list<QPair<QString, QJsonValue>> values)
{
    QJsonObject result;
    for (const auto &value : values)
        result.insert(value.first, value.second);
    return result;
}
} // namespace

// Every way the platform's answer can be bad, each as the sandbox serving
// it: the program must refuse it, say why in the log, and run nothing.
class TestUpdateRefusals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void refusedDescription_data();
    void refusedDescription();
    void refusedSetup_data();
    void refusedSetup();
    void trustedUpdateStartsSetup();
    void versionsAndSignatures();

private:
    QJsonObject offer(const QJsonObject &overrides = QJsonObject()) const
    {
        return kytest::updateOffer(m_setup, QStringLiteral("1.1.0"), overrides);
    }

    SandboxServer m_server;
    QTemporaryDir m_files;
    QString m_setup;
    QString m_tampered;
};

void TestUpdateRefusals::initTestCase()
{
    m_setup = kytest::startWithSetup(m_server, m_files);
    QVERIFY(!m_setup.isEmpty());
    // The same length and headers, one byte changed near the end.
    QFile source(m_setup);
    QVERIFY(source.open(QIODevice::ReadOnly));
    QByteArray bytes = source.readAll();
    bytes[bytes.size() - 100] = char(bytes[bytes.size() - 100] ^ 0x5a);
    m_tampered = m_files.filePath(QStringLiteral("tampered.exe"));
    QFile tampered(m_tampered);
    QVERIFY(tampered.open(QIODevice::WriteOnly));
    QCOMPARE(tampered.write(bytes), qint64(bytes.size()));
}

void TestUpdateRefusals::init()
{
    QVERIFY(m_server.reset());
    QVERIFY(m_server.setUpdate(QJsonObject()));
    kytest::forgetUpdates();
}

void TestUpdateRefusals::refusedDescription_data()
{
    QTest::addColumn<QJsonObject>("overrides");
    QTest::addColumn<QJsonObject>("serverRule");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<bool>("upToDate");

    const QString sig = kDescriptionPath + QStringLiteral(".sig");
    const QString refusedSignature = QStringLiteral("signature missing, malformed or not by the update key");
    QTest::newRow("signature missing") << object({{"sign_with", "none"}}) << QJsonObject() << refusedSignature
                                       << false;
    QTest::newRow("signature by another key") << object({{"sign_with", "other"}}) << QJsonObject()
                                              << refusedSignature << false;
    QTest::newRow("signature of 64 other bytes")
        << QJsonObject() << object({{"path", sig}, {"body", QString(64, QLatin1Char('A'))}}) << refusedSignature
        << false;
    QTest::newRow("signature cut short") << QJsonObject() << object({{"path", sig}, {"short", 63}})
                                         << QStringLiteral("no signature") << false;
    // The signature is of what the server meant to serve; the bytes served
    // differ (a newer version written into them on the way).
    QTest::newRow("description changed after signing")
        << QJsonObject()
        << object({{"path", kDescriptionPath},
                   {"body", QStringLiteral("{\"version\":\"9.9.9\",\"setupUrl\":\"http://127.0.0.1/x.exe\"}")}})
        << refusedSignature << false;
    QTest::newRow("description oversized")
        << QJsonObject()
        << object({{"path", kDescriptionPath},
                   {"body", object({{"prefix", "{\"notes\":\""}, {"repeat", "长"}, {"count", 40000}})}})
        << QStringLiteral("no description") << false;
    QTest::newRow("description endless") << QJsonObject()
                                         << object({{"path", kDescriptionPath}, {"endless", true}, {"chunked", true}})
                                         << QStringLiteral("no description") << false;
    QTest::newRow("no newer version: downgrade") << object({{"version", "0.9.0"}}) << QJsonObject()
                                                 << QStringLiteral("version 0.9.0 is not newer than V1.0.0") << true;
    QTest::newRow("no newer version: replay of ours") << object({{"version", "1.0.0"}}) << QJsonObject()
                                                      << QStringLiteral("version 1.0.0 is not newer than V1.0.0")
                                                      << true;
    QTest::newRow("setup on another host")
        << object({{"setup_url", "http://downloads.example.net/VURuv-1.1.0-setup.exe"}}) << QJsonObject()
        << QStringLiteral("setup address is not on the platform's host") << false;
    QTest::newRow("setup over https on another host")
        << object({{"setup_url", "https://downloads.example.net/VURuv-1.1.0-setup.exe"}}) << QJsonObject()
        << QStringLiteral("setup address is not on the platform's host") << false;
    QTest::newRow("setup over plain http elsewhere on the host")
        << object({{"setup_url", "http://127.0.0.1:9/VURuv-1.1.0-setup.exe"}}) << QJsonObject()
        << QStringLiteral("setup address is not HTTPS") << false;
    QTest::newRow("setup larger than any setup") << object({{"size", 4.0 * 1024 * 1024 * 1024}}) << QJsonObject()
                                                 << QStringLiteral("setup size missing or out of range") << false;
    QTest::newRow("our version too old for it") << object({{"min_version", "1.0.1"}}) << QJsonObject()
                                                << QStringLiteral("version 1.1.0 cannot update from V1.0.0 (needs 1.0.1)")
                                                << false;
}

void TestUpdateRefusals::refusedDescription()
{
    QFETCH(QJsonObject, overrides);
    QFETCH(QJsonObject, serverRule);
    QFETCH(QString, logged);
    QFETCH(bool, upToDate);
    QVERIFY(m_server.setUpdate(offer(overrides)));
    if (!serverRule.isEmpty())
        QVERIFY(m_server.addRule(serverRule));

    LogCapture log;
    QStringList started;
    KyUpdater updater;
    updater.setSetupStarter(RecordingStarter{&started});
    QSignalSpy offered(&updater, &KyUpdater::sglOffer);
    QSignalSpy failed(&updater, &KyUpdater::sglCheckFailed);
    QSignalSpy current(&updater, &KyUpdater::sglUpToDate);
    updater.checkNow();
    QTRY_VERIFY_WITH_TIMEOUT(failed.count() + current.count() + offered.count() > 0, kAnswerMs);

    QCOMPARE(offered.count(), 0);
    QCOMPARE(current.count(), upToDate ? 1 : 0);
    QVERIFY2(log.text().contains(logged), qPrintable(log.text()));
    QVERIFY(!updater.hasAvailable());
    QVERIFY(started.isEmpty());
    QVERIFY(QDir(KyUpdater::updateFolder()).entryList(QDir::Files).isEmpty());
}

void TestUpdateRefusals::refusedSetup_data()
{
    QTest::addColumn<QJsonObject>("overrides");

    QTest::newRow("setup longer than described") << object({{"size", double(QFileInfo(m_setup).size() - 1)}});
    QTest::newRow("setup shorter than described") << object({{"size", double(QFileInfo(m_setup).size() + 1)}});
    QTest::newRow("setup with another SHA-256") << object({{"sha256", QString(64, QLatin1Char('0'))}});
    QTest::newRow("tampered setup served") << object({{"serve_file", m_tampered}});
}

// A description that passes, and a setup that does not match it: it is
// downloaded, found wrong, deleted, and never started.
void TestUpdateRefusals::refusedSetup()
{
    QFETCH(QJsonObject, overrides);
    QVERIFY(m_server.setUpdate(offer(overrides)));

    LogCapture log;
    QStringList started;
    KyUpdater updater;
    updater.setSetupStarter(RecordingStarter{&started});
    QSignalSpy offered(&updater, &KyUpdater::sglOffer);
    QSignalSpy failed(&updater, &KyUpdater::sglUpdateFailed);
    updater.checkNow();
    QTRY_COMPARE_WITH_TIMEOUT(offered.count(), 1, kAnswerMs);
    updater.installNow();
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, kAnswerMs);

    QVERIFY(started.isEmpty());
    QVERIFY(updater.setupPath().isEmpty());
    QVERIFY2(log.text().contains(QLatin1String("by update setup refused"))
                 || log.text().contains(QLatin1String("by update setup download failed")),
             qPrintable(log.text()));
    QVERIFY(QDir(KyUpdater::updateFolder()).entryList(QDir::Files).isEmpty());
    QVERIFY(!QSettings(dataDir() + QStringLiteral("updateSetting"), QSettings::IniFormat)
                 .contains(QStringLiteral("Update/AttemptedVersion")));
}

// What the refusals are measured against: the same server telling the truth.
void TestUpdateRefusals::trustedUpdateStartsSetup()
{
    QVERIFY(m_server.setUpdate(offer(object({{"notes", "修复了直播时的卡顿问题。"}}))));
    QStringList started;
    KyUpdater updater;
    updater.setSetupStarter(RecordingStarter{&started});
    QSignalSpy offered(&updater, &KyUpdater::sglOffer);
    QSignalSpy quitting(&updater, &KyUpdater::sglQuitForInstall);
    updater.checkNow();
    QTRY_COMPARE_WITH_TIMEOUT(offered.count(), 1, kAnswerMs);
    QCOMPARE(updater.available().notes, QStringLiteral("修复了直播时的卡顿问题。"));
    updater.installNow();
    QTRY_COMPARE_WITH_TIMEOUT(quitting.count(), 1, kAnswerMs);

    QCOMPARE(started.size(), 1);
    const QString setup = QDir(KyUpdater::updateFolder()).filePath(QStringLiteral("VURuv-1.1.0-setup.exe"));
    QCOMPARE(started.first(), setup + QStringLiteral("|/S /RESTART /D=") + QDir::toNativeSeparators(appDir()));
    QCOMPARE(fileSha256(setup), fileSha256(m_setup));
    QCOMPARE(QSettings(dataDir() + QStringLiteral("updateSetting"), QSettings::IniFormat)
                 .value(QStringLiteral("Update/AttemptedVersion"))
                 .toString(),
             QStringLiteral("1.1.0"));
}

void TestUpdateRefusals::versionsAndSignatures()
{
    QCOMPARE(compareVersions(QStringLiteral("1.10.0"), QStringLiteral("1.9.3")), 1);
    QCOMPARE(compareVersions(QStringLiteral("V1.0.0"), QStringLiteral("1.0")), 0);
    QCOMPARE(compareVersions(QStringLiteral("1.0.0"), QStringLiteral("1.0.0.1")), -1);
    for (const char *bad : {"", "1", "1.x.0", "1.0.0-beta", "１.0.0", "1.2.3.4.5", "123456.0"})
        QVERIFY2(parseVersion(QString::fromUtf8(bad)).isEmpty(), bad);

    // The key the program carries verifies what the sandbox signs, and
    // nothing once a single bit of message or signature differs.
    QVERIFY(m_server.setUpdate(offer()));
    int status = 0;
    const QByteArray description = SandboxServer::httpRequest(m_server.port(), "GET", kDescriptionPath, {}, &status);
    QCOMPARE(status, 200);
    QByteArray signature =
        SandboxServer::httpRequest(m_server.port(), "GET", kDescriptionPath + QStringLiteral(".sig"), {}, &status);
    QCOMPARE(signature.size(), 64);
    QVERIFY(verifyEd25519(description, signature, builtInUpdateKey()));
    QByteArray changed = description;
    changed[10] = char(changed[10] ^ 1);
    QVERIFY(!verifyEd25519(changed, signature, builtInUpdateKey()));
    signature[0] = char(signature[0] ^ 1);
    QVERIFY(!verifyEd25519(description, signature, builtInUpdateKey()));
}

KY_TEST_GUILESS_MAIN(TestUpdateRefusals)
#include "testupdaterefusals.moc"
