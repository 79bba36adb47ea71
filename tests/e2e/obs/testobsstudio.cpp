#include "kytestmain.h"
#include "obsrig.h"

#include "common/kypaths.h"
#include "logic/kylivetoolconfig.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

// The push code our writer stores, as the real OBS Studio (Debian's
// obs-studio) uses it: OBS runs from the test's HOME under an X server of its
// own, started with "--startstreaming", and a case passes only when a private
// nginx RTMP server on 127.0.0.1 receives H.264 video under our key.
//
// OBS needs a scene collection to stream from the command line; each case
// gives it a minimal one (a colour source) through "--collection". On its
// first run OBS shows its auto-configuration wizard, which does not stop the
// stream; "--multi" keeps it from asking about other running copies.
namespace {

const QString kCollection = QStringLiteral("KyTest");
constexpr int kStreamTimeoutMs = 60000;

QString obsFile(const QString &relative)
{
    return roamingAppDataRoot() + QStringLiteral("obs-studio/") + relative;
}

QStringList profileFolders()
{
    return QDir(obsFile(QStringLiteral("basic/profiles"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

bool writeMinimalScene()
{
    const QByteArray scene = R"({
    "name": "KyTest", "current_scene": "Scene", "current_program_scene": "Scene",
    "scene_order": [{"name": "Scene"}],
    "sources": [
        {"id": "scene", "versioned_id": "scene", "name": "Scene",
         "settings": {"id_counter": 1, "items": [{"name": "Colour", "id": 1, "visible": true}]}},
        {"id": "color_source_v3", "versioned_id": "color_source_v3", "name": "Colour",
         "settings": {"color": 4282417407, "width": 320, "height": 240}}
    ]
})";
    return kytest::writeFile(obsFile(QStringLiteral("basic/scenes/KyTest.json")), scene);
}

QJsonObject serviceSettings(const QString &profileFolder)
{
    return QJsonDocument::fromJson(kytest::readFile(obsFile(QStringLiteral("basic/profiles/%1/service.json").arg(profileFolder))))
        .object()
        .value(QStringLiteral("settings"))
        .toObject();
}

bool s_privateNetwork = false;

} // namespace

class TestObsStudio : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!s_privateNetwork)
            qWarning("running in the machine's network namespace (a private one needs root)");
        m_rig = std::make_unique<obstest::ObsRig>();
        QString error;
        QVERIFY2(m_rig->start(error), qPrintable(error));
    }

    void cleanupTestCase() { m_rig.reset(); }

    void init()
    {
        QDir(obsFile(QString())).removeRecursively();
        QVERIFY(writeMinimalScene());
    }

    void cleanup()
    {
        if (QTest::currentTestFailed()) {
            qWarning("%s", qPrintable(m_rig->keepArtefacts(QCoreApplication::applicationDirPath() + QStringLiteral("/artefacts"),
                                                           QString::fromLatin1(QTest::currentTestFunction()))));
        }
        m_rig->stopObs();
    }

    // No global.ini: OBS would create a profile of its own at its first
    // start, so the writer names ours.
    void neverRun()
    {
        const QString key = QStringLiteral("kyoro_10086_7f3a9c");
        QVERIFY(writeObsStudioPushCode(m_rig->serverUrl(), key));
        QCOMPARE(kytest::readFile(obsFile(QStringLiteral("global.ini"))),
                 QByteArray("[Basic]\nProfile=未命名\nProfileDir=未命名\n"));

        obstest::ServerStream stream;
        QString error;
        QVERIFY2(streamUnder(key, stream, error), qPrintable(error));
        // OBS opened our profile and made none of its own.
        QCOMPARE(profileFolders(), QStringList{QStringLiteral("未命名")});
    }

    // OBS has run once in English and chose its "Untitled" profile: the
    // writer goes there and leaves global.ini alone.
    void ranOnceInEnglish()
    {
        QString error;
        QVERIFY2(m_rig->startObs({}, error), qPrintable(error));
        const QString global = obsFile(QStringLiteral("global.ini"));
        QTRY_VERIFY_WITH_TIMEOUT(kytest::readFile(global).contains("ProfileDir=")
                                     && QFile::exists(obsFile(QStringLiteral("basic/profiles/Untitled/basic.ini"))),
                                 30000);
        m_rig->stopObs();
        const QByteArray chosen = kytest::readFile(global);
        QVERIFY2(chosen.contains("Profile=Untitled\n") && chosen.contains("ProfileDir=Untitled\n"), chosen.constData());

        const QString key = QStringLiteral("live_2024_once");
        QVERIFY(writeObsStudioPushCode(m_rig->serverUrl(), key));
        QCOMPARE(kytest::readFile(global), chosen);
        QCOMPARE(serviceSettings(QStringLiteral("Untitled")).value(QStringLiteral("key")).toString(), key);

        obstest::ServerStream stream;
        QVERIFY2(streamUnder(key, stream, error), qPrintable(error));
        QCOMPARE(profileFolders(), QStringList{QStringLiteral("Untitled")});
    }

    // A profile the streamer uses, with settings of its own: the writer
    // changes only the push code, and OBS streams with both.
    void chosenProfileKeepsItsSettings()
    {
        const QByteArray globalIni("[General]\nPre19Defaults=false\nPre21Defaults=false\nPre23Defaults=false\n"
                                   "Pre24.1Defaults=false\nFirstRun=true\nLastVersion=486539266\n\n"
                                   "[Basic]\nProfile=我的 直播\nProfileDir=我的_直播\nSceneCollection=KyTest\n"
                                   "SceneCollectionFile=KyTest\n\n[BasicWindow]\ngridMode=false\n");
        const QByteArray basicIni("[General]\nName=我的 直播\n\n[Output]\nMode=Simple\n\n[SimpleOutput]\n"
                                  "VBitrate=1234\nFilePath=/tmp/录像\n\n[Video]\nBaseCX=640\nBaseCY=360\n"
                                  "OutputCX=640\nOutputCY=360\n");
        const QByteArray otherBasicIni("[General]\nName=Untitled\n");
        const QByteArray otherService(R"({"settings": {"key": "not-this-one", "server": "rtmp://127.0.0.1/live"},)"
                                      R"( "type": "rtmp_custom"})");
        QVERIFY(kytest::writeFile(obsFile(QStringLiteral("global.ini")), globalIni));
        QVERIFY(kytest::writeFile(obsFile(QStringLiteral("basic/profiles/我的_直播/basic.ini")), basicIni));
        QVERIFY(kytest::writeFile(obsFile(QStringLiteral("basic/profiles/我的_直播/service.json")),
                                  R"({"type": "rtmp_common", "settings": {"service": "Twitch", "server": "auto",)"
                                  R"( "key": "old", "use_auth": false}})"));
        QVERIFY(kytest::writeFile(obsFile(QStringLiteral("basic/profiles/Untitled/basic.ini")), otherBasicIni));
        QVERIFY(kytest::writeFile(obsFile(QStringLiteral("basic/profiles/Untitled/service.json")), otherService));

        const QString key = QStringLiteral("chosen-profile-key");
        QVERIFY(writeObsStudioPushCode(m_rig->serverUrl(), key));
        QCOMPARE(kytest::readFile(obsFile(QStringLiteral("global.ini"))), globalIni);
        QCOMPARE(kytest::readFile(obsFile(QStringLiteral("basic/profiles/我的_直播/basic.ini"))), basicIni);
        QCOMPARE(kytest::readFile(obsFile(QStringLiteral("basic/profiles/Untitled/basic.ini"))), otherBasicIni);
        QCOMPARE(kytest::readFile(obsFile(QStringLiteral("basic/profiles/Untitled/service.json"))), otherService);
        const QJsonObject settings = serviceSettings(QStringLiteral("我的_直播"));
        QCOMPARE(settings.value(QStringLiteral("service")).toString(), QStringLiteral("Twitch"));
        QCOMPARE(settings.value(QStringLiteral("use_auth")), QJsonValue(false));

        obstest::ServerStream stream;
        QString error;
        QVERIFY2(streamUnder(key, stream, error), qPrintable(error));
        // The profile's own video size and bitrate are what OBS streams with.
        QCOMPARE(stream.width, 640);
        QCOMPARE(stream.height, 360);
        QVERIFY2(m_rig->obsLog().contains(QRegularExpression(QStringLiteral("bitrate:\\s+1234\\b"))),
                 "OBS did not use the profile's video bitrate");
    }

    // OBS decodes percent escapes in the key it sends; the key arrives as
    // the platform gave it, "?" arguments and all.
    void keyWithEscapedCharacters()
    {
        const QString key = QStringLiteral("直播码%41 x?secret=a%2Fb&t=%");
        QVERIFY(writeObsStudioPushCode(m_rig->serverUrl(), key));
        obstest::ServerStream stream;
        QString error;
        QVERIFY2(streamUnder(key, stream, error), qPrintable(error));
    }

private:
    // Starts OBS streaming and waits for the server to receive video under
    // `key` (its part before "?" is the stream's name, the rest arguments).
    bool streamUnder(const QString &key, obstest::ServerStream &stream, QString &error)
    {
        if (!m_rig->startObs({QStringLiteral("--startstreaming"), QStringLiteral("--collection"), kCollection}, error))
            return false;
        const QString name = key.section(QLatin1Char('?'), 0, 0);
        stream = m_rig->waitForStream(name, kStreamTimeoutMs);
        if (stream.name.isEmpty()) {
            QStringList seen;
            for (const obstest::ServerStream &other : m_rig->streams())
                seen << other.name;
            error = QStringLiteral("no stream under \"%1\" (streams: %2); OBS said:\n%3")
                        .arg(name, seen.join(QStringLiteral(", ")), m_rig->obsLog().right(3000));
            return false;
        }
        const QList<obstest::Publication> publications = m_rig->publications();
        QString sent;
        if (!publications.isEmpty()) {
            sent = publications.last().name;
            if (!publications.last().args.isEmpty())
                sent += QLatin1Char('?') + publications.last().args;
        }
        if (sent != key) {
            error = QStringLiteral("OBS published \"%1\" instead of \"%2\"").arg(sent, key);
            return false;
        }
        return true;
    }

    std::unique_ptr<obstest::ObsRig> m_rig;
};

int main(int argc, char *argv[])
{
    // Before any thread exists: OBS and the server then share a network of
    // their own.
    s_privateNetwork = obstest::enterPrivateNetwork();
    return kytest::runTest<QCoreApplication, TestObsStudio>(argc, argv);
}

#include "testobsstudio.moc"
