#include "kytestmain.h"
#include "common/kypaths.h"
#include "logic/kylivetoolconfig.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

// Readers and writers of the streaming tools' own settings files, on real
// files below the test's private HOME.
class TestLiveToolConfig : public QObject
{
    Q_OBJECT

private:
    QString local(const QString &rel) const { return localAppDataRoot() + rel; }
    QString roaming(const QString &rel) const { return roamingAppDataRoot() + rel; }
    QString profiles(const QString &rel) const { return roaming(QStringLiteral("obs-studio/basic/profiles/") + rel); }
    QString videos() const { return QStandardPaths::writableLocation(QStandardPaths::MoviesLocation); }

    // The lines of a profile file but blank ones, in order, each entry as
    // "section/key=value" with both names in lower case.
    static QStringList profileEntries(const QByteArray &content)
    {
        QStringList entries;
        QString section;
        for (QString line : QString::fromLocal8Bit(content).split(QLatin1Char('\n'))) {
            line = line.trimmed();
            if (line.startsWith(QLatin1Char('[')))
                section = line.mid(1, line.indexOf(QLatin1Char(']')) - 1).toLower();
            else if (line.startsWith(QLatin1Char(';')))
                entries << line;
            else if (line.contains(QLatin1Char('=')))
                entries << section + QLatin1Char('/') + line.section(QLatin1Char('='), 0, 0).trimmed().toLower()
                        + QLatin1Char('=') + line.section(QLatin1Char('='), 1);
        }
        return entries;
    }

private slots:
    void initTestCase()
    {
        // The roots sit inside the private test folder, never the real user's.
        QVERIFY(localAppDataRoot().startsWith(kytest::testRoot()));
        QVERIFY(roamingAppDataRoot().startsWith(kytest::testRoot()));
        QVERIFY(roamingAppDataRoot().endsWith(QLatin1Char('/')));
    }

    void init()
    {
        for (const QString &dir : {local(QStringLiteral("KYTool")), local(QStringLiteral("KyoroShow")),
                                   roaming(QStringLiteral("OBS")), roaming(QStringLiteral("obs-studio"))})
            QDir(dir).removeRecursively();
    }

    void kyToolRecordPath_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("backslashes") << QByteArray(R"({"other.video.file.path": "D:\\录像\\KY", "x": 1})") << QStringLiteral("D:/录像/KY");
        QTest::newRow("dotted key is flat") << QByteArray(R"({"other": {"video": {"file": {"path": "D:/a"}}}})") << QString();
        QTest::newRow("not a string") << QByteArray(R"({"other.video.file.path": 5})") << QString();
        QTest::newRow("not JSON") << QByteArray("path=D:/a") << QString();
        QTest::newRow("missing file") << QByteArray() << QString();
    }

    void kyToolRecordPath()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        if (!content.isNull())
            QVERIFY(kytest::writeFile(local(QStringLiteral("KYTool/SystemSetting")), content));
        QCOMPARE(::kyToolRecordPath(), expected);
    }

    void kyShowRecordPath_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("nested") << QByteArray(R"({"sys": {"sys_record_path": "E:\\show\\rec"}})") << QStringLiteral("E:/show/rec");
        QTest::newRow("sys not an object") << QByteArray(R"({"sys": "E:/show"})") << QString();
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF{\"sys\": {\"sys_record_path\": \"F:/r\"}}") << QStringLiteral("F:/r");
    }

    void kyShowRecordPath()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QVERIFY(kytest::writeFile(local(QStringLiteral("KyoroShow/SysConfig.config")), content));
        QCOMPARE(::kyShowRecordPath(), expected);
    }

    void obsClassicRecordPath()
    {
        const QString file = roaming(QStringLiteral("OBS/profiles/Untitled.ini"));
        QCOMPARE(::obsClassicRecordPath(), videos());  // no profile at all
        QVERIFY(kytest::writeFile(file, "[Publish]\r\nURL=rtmp://a\r\n"));
        QCOMPARE(::obsClassicRecordPath(), videos());  // no LastSaveDir
        // Profile files are in the system's narrow code page, as OBS Classic
        // writes them (UTF-8 on Linux, 936 on a Chinese Windows).
        QVERIFY(kytest::writeFile(file, QStringLiteral("[Publish]\r\nLastSaveDir=C:\\Users\\主播\\Videos\r\n").toLocal8Bit()));
        QCOMPARE(::obsClassicRecordPath(), QStringLiteral("C:/Users/主播/Videos"));
    }

    void obsClassicPushCodeIntoMissingFile()
    {
        QString url = QStringLiteral("x");
        QString code = QStringLiteral("y");
        ::readObsClassicPushCode(url, code);
        QCOMPARE(url, QString());
        QCOMPARE(code, QString());

        QVERIFY(::writeObsClassicPushCode(QStringLiteral("rtmp://push.kyoro.live/live"), QStringLiteral("abc?t=1&k=直播")));
        QCOMPARE(kytest::readFile(roaming(QStringLiteral("OBS/profiles/Untitled.ini"))),
                 QStringLiteral("[Publish]\r\nMode=0\r\nURL=rtmp://push.kyoro.live/live\r\nPlayPath=abc?t=1&k=直播\r\n").toLocal8Bit());
        ::readObsClassicPushCode(url, code);
        QCOMPARE(url, QStringLiteral("rtmp://push.kyoro.live/live"));
        QCOMPARE(code, QStringLiteral("abc?t=1&k=直播"));
    }

    void obsClassicPushCodeKeepsTheRestOfTheFile()
    {
        const QString file = roaming(QStringLiteral("OBS/profiles/Untitled.ini"));
        QVERIFY(kytest::writeFile(file, "; OBS profile\r\n[Audio]\r\nDevice=Default\r\n\r\n"
                                        "[Publish]\r\nmode=1\r\nLastSaveDir=D:\\rec\r\nurl=rtmp://old\r\n\r\n"
                                        "[Video]\r\nFPS=30\r\n"));
        QVERIFY(::writeObsClassicPushCode(QStringLiteral("rtmp://new/live"), QStringLiteral("key1")));
        // Where the lines go and the letter case of a replaced name are the
        // profile writer's (the system's on Windows); every entry is there.
        QCOMPARE(profileEntries(kytest::readFile(file)),
                 QStringList({QStringLiteral("; OBS profile"), QStringLiteral("audio/device=Default"),
                              QStringLiteral("publish/mode=0"), QStringLiteral("publish/lastsavedir=D:\\rec"),
                              QStringLiteral("publish/url=rtmp://new/live"), QStringLiteral("publish/playpath=key1"),
                              QStringLiteral("video/fps=30")}));
        QCOMPARE(::obsClassicRecordPath(), QStringLiteral("D:/rec"));

        // A code that would break the line is refused and nothing changes.
        const QByteArray before = kytest::readFile(file);
        QVERIFY(!::writeObsClassicPushCode(QStringLiteral("rtmp://x"), QStringLiteral("k\r\n[Publish]")));
        QCOMPARE(kytest::readFile(file), before);
    }

    void obsStudioWithoutGlobalIni()
    {
        QCOMPARE(::obsStudioProfileDir(), QStringLiteral("未命名"));
        QCOMPARE(::obsStudioRecordPath(), videos());
        QVERIFY(::writeObsStudioPushCode(QStringLiteral("rtmp://push/live"), QStringLiteral("k1")));
        QCOMPARE(kytest::readFile(profiles(QStringLiteral("未命名/service.json"))),
                 kytest::textModeBytes("{\n    \"settings\": {\n        \"key\": \"k1\",\n        \"server\": \"rtmp://push/live\"\n"
                            "    },\n    \"type\": \"rtmp_custom\"\n}\n"));
        QString server;
        QString key;
        ::readObsStudioPushCode(server, key);
        QCOMPARE(server, QStringLiteral("rtmp://push/live"));
        QCOMPARE(key, QStringLiteral("k1"));
    }

    void obsStudioMergesIntoServiceJson()
    {
        const QString file = profiles(QStringLiteral("未命名/service.json"));
        QVERIFY(kytest::writeFile(file, R"({"type": "rtmp_common", "hotkeys": {"a": [1]},
            "settings": {"service": "Other", "server": "auto", "key": "old", "bwtest": false}})"));
        QVERIFY(::writeObsStudioPushCode(QStringLiteral("rtmp://new"), QStringLiteral("new-key")));
        QCOMPARE(kytest::readFile(file),
                 kytest::textModeBytes("{\n    \"hotkeys\": {\n        \"a\": [\n            1\n        ]\n    },\n"
                            "    \"settings\": {\n        \"bwtest\": false,\n        \"key\": \"new-key\",\n"
                            "        \"server\": \"rtmp://new\",\n        \"service\": \"Other\"\n    },\n"
                            "    \"type\": \"rtmp_custom\"\n}\n"));
        QCOMPARE(QDir(profiles(QStringLiteral("未命名"))).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{QStringLiteral("basic.ini"), QStringLiteral("service.json")}));
    }

    void obsStudioReplacesInvalidServiceJson_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("broken") << QByteArray("{\"settings\": {\"server\": ");
        QTest::newRow("array") << QByteArray("[1, 2]");
        QTest::newRow("settings not an object") << QByteArray(R"({"settings": "x"})");
    }

    void obsStudioReplacesInvalidServiceJson()
    {
        QFETCH(QByteArray, content);
        const QString file = profiles(QStringLiteral("未命名/service.json"));
        QVERIFY(kytest::writeFile(file, content));
        QString server = QStringLiteral("x");
        QString key = QStringLiteral("y");
        ::readObsStudioPushCode(server, key);
        QVERIFY(server.isEmpty() && key.isEmpty());
        QVERIFY(::writeObsStudioPushCode(QStringLiteral("rtmp://s"), QStringLiteral("k")));
        const QByteArray written = kytest::readFile(file);
        QCOMPARE(written, kytest::textModeBytes("{\n    \"settings\": {\n        \"key\": \"k\",\n        \"server\": \"rtmp://s\"\n"
                                     "    },\n    \"type\": \"rtmp_custom\"\n}\n"));
    }

    // OBS writes its INI files in UTF-8 and without escapes: a Chinese profile
    // name and a Windows path with backslashes must arrive intact.
    void obsStudioProfileFromGlobalIni()
    {
        QVERIFY(kytest::writeFile(roaming(QStringLiteral("obs-studio/global.ini")),
                                  "[General]\nLastVersion=1\n\n[Basic]\nProfile=我的直播\nProfileDir=我的直播\n"));
        QVERIFY(kytest::writeFile(profiles(QStringLiteral("我的直播/basic.ini")),
                                  "[General]\nName=我的直播\n\n[SimpleOutput]\nFilePath=C:\\Users\\新主播\\Videos, 1\n"));
        QCOMPARE(::obsStudioProfileDir(), QStringLiteral("我的直播"));
        QCOMPARE(::obsStudioRecordPath(), QStringLiteral("C:/Users/新主播/Videos, 1"));
        QVERIFY(::writeObsStudioPushCode(QStringLiteral("rtmp://a"), QStringLiteral("b")));
        QVERIFY(QFileInfo::exists(profiles(QStringLiteral("我的直播/service.json"))));
        QVERIFY(!QFileInfo::exists(profiles(QStringLiteral("未命名"))));
    }

    // OBS Studio 31 and later keep the current profile in user.ini and find
    // it by name; global.ini may still name an old folder.
    void obsStudioProfileFromUserIni()
    {
        QVERIFY(kytest::writeFile(roaming(QStringLiteral("obs-studio/global.ini")), "[Basic]\nProfileDir=Old\n"));
        QVERIFY(kytest::writeFile(roaming(QStringLiteral("obs-studio/user.ini")),
                                  "[Basic]\nProfile=Stream; main\nProfileDir=Fallback\n"));
        QVERIFY(kytest::writeFile(profiles(QStringLiteral("Old/basic.ini")), "[General]\nName=Old\n"));
        QVERIFY(kytest::writeFile(profiles(QStringLiteral("Stream_main/basic.ini")), "[General]\nName=Stream; main\n"));
        QCOMPARE(::obsStudioProfileDir(), QStringLiteral("Stream_main"));

        QVERIFY(::writeObsStudioPushCode(QStringLiteral("rtmp://u"), QStringLiteral("uk")));
        QVERIFY(QFileInfo::exists(profiles(QStringLiteral("Stream_main/service.json"))));
        QVERIFY(!QFileInfo::exists(profiles(QStringLiteral("Old/service.json"))));
        QString server;
        QString key;
        ::readObsStudioPushCode(server, key);
        QCOMPARE(server, QStringLiteral("rtmp://u"));

        // No folder carries the name: user.ini's ProfileDir.
        QVERIFY(kytest::writeFile(profiles(QStringLiteral("Stream_main/basic.ini")), "[General]\nName=Renamed\n"));
        QCOMPARE(::obsStudioProfileDir(), QStringLiteral("Fallback"));
        // user.ini names nothing usable: global.ini as before.
        QVERIFY(kytest::writeFile(roaming(QStringLiteral("obs-studio/user.ini")), "[General]\nFirstRun=true\n"));
        QCOMPARE(::obsStudioProfileDir(), QStringLiteral("Old"));
    }

    // OBS opens the profile that global.ini names with both "[Basic] Profile"
    // and "ProfileDir"; lacking either, it makes a profile of its own at its
    // next start and never reads ours. The writer adds what is missing and
    // leaves every other line as it was.
    void obsStudioNamesItsProfile_data()
    {
        QTest::addColumn<QByteArray>("globalIni");   // null: no file
        QTest::addColumn<QString>("existingFolder"); // a profile folder with that basic.ini, or ""
        QTest::addColumn<QByteArray>("existingBasicIni");
        QTest::addColumn<QByteArray>("expectedGlobalIni");
        QTest::addColumn<QString>("expectedFolder");
        QTest::addColumn<QByteArray>("expectedBasicIni");

        QTest::newRow("never run")
            << QByteArray() << QString() << QByteArray()
            << QByteArray("[Basic]\nProfile=未命名\nProfileDir=未命名\n")
            << QStringLiteral("未命名") << QByteArray("[General]\nName=未命名\n");
        QTest::newRow("no Basic section, CRLF and byte order mark")
            << QByteArray("\xEF\xBB\xBF[General]\r\nLanguage=zh-CN\r\n\r\n[OBSWebSocket]\r\nServerPort=4455\r\n")
            << QString() << QByteArray()
            << QByteArray("\xEF\xBB\xBF[General]\r\nLanguage=zh-CN\r\n\r\n[OBSWebSocket]\r\nServerPort=4455\r\n"
                          "[Basic]\r\nProfile=未命名\r\nProfileDir=未命名\r\n")
            << QStringLiteral("未命名") << QByteArray("[General]\nName=未命名\n");
        QTest::newRow("ProfileDir without Profile")
            << QByteArray("[General]\nFirstRun=true\n\n[Basic]\nProfileDir=直播\nSceneCollection=x\n\n[BasicWindow]\ngridMode=false\n")
            << QStringLiteral("直播") << QByteArray("[General]\nName=我的 直播\n\n[Video]\nBaseCX=1920\n")
            << QByteArray("[General]\nFirstRun=true\n\n[Basic]\nProfileDir=直播\nSceneCollection=x\nProfile=我的 直播\n\n"
                          "[BasicWindow]\ngridMode=false\n")
            << QStringLiteral("直播") << QByteArray("[General]\nName=我的 直播\n\n[Video]\nBaseCX=1920\n");
        QTest::newRow("Profile without ProfileDir, its folder found by name")
            << QByteArray("[Basic]\r\nProfile=Stream\r\n") << QStringLiteral("Stream_1")
            << QByteArray("[General]\r\nName=Stream\r\n")
            << QByteArray("[Basic]\r\nProfile=Stream\r\nProfileDir=Stream_1\r\n")
            << QStringLiteral("Stream_1") << QByteArray("[General]\r\nName=Stream\r\n");
        QTest::newRow("empty ProfileDir, a folder without Name")
            << QByteArray("[Basic]\nProfile=Stream\nProfileDir=\n") << QStringLiteral("未命名")
            << QByteArray("[Video]\nBaseCX=1280")
            << QByteArray("[Basic]\nProfile=Stream\nProfileDir=未命名\n")
            << QStringLiteral("未命名") << QByteArray("[Video]\nBaseCX=1280\n[General]\nName=Stream\n");
        QTest::newRow("climbing ProfileDir without Profile")
            << QByteArray("[Basic]\nProfileDir=../../x\n") << QString() << QByteArray()
            << QByteArray("[Basic]\nProfileDir=未命名\nProfile=未命名\n")
            << QStringLiteral("未命名") << QByteArray("[General]\nName=未命名\n");
    }

    void obsStudioNamesItsProfile()
    {
        QFETCH(QByteArray, globalIni);
        QFETCH(QString, existingFolder);
        QFETCH(QByteArray, existingBasicIni);
        QFETCH(QByteArray, expectedGlobalIni);
        QFETCH(QString, expectedFolder);
        QFETCH(QByteArray, expectedBasicIni);
        const QString global = roaming(QStringLiteral("obs-studio/global.ini"));
        if (!globalIni.isNull())
            QVERIFY(kytest::writeFile(global, globalIni));
        if (!existingFolder.isEmpty())
            QVERIFY(kytest::writeFile(profiles(existingFolder + QStringLiteral("/basic.ini")), existingBasicIni));

        QCOMPARE(::obsStudioProfileDir(), expectedFolder);
        QVERIFY(::writeObsStudioPushCode(QStringLiteral("rtmp://push/live"), QStringLiteral("k1")));
        QCOMPARE(kytest::readFile(global), expectedGlobalIni);
        QCOMPARE(kytest::readFile(profiles(expectedFolder + QStringLiteral("/basic.ini"))), expectedBasicIni);
        QCOMPARE(::obsStudioProfileDir(), expectedFolder);
        QString server;
        QString key;
        ::readObsStudioPushCode(server, key);
        QCOMPARE(key, QStringLiteral("k1"));
        QCOMPARE(QDir(profiles(QString())).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{expectedFolder});
        QCOMPARE(QDir(roaming(QStringLiteral("obs-studio"))).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("global.ini")});

        // Once named, the profile is OBS's choice: a second write changes
        // neither INI file.
        QVERIFY(::writeObsStudioPushCode(QStringLiteral("rtmp://push/live"), QStringLiteral("k2")));
        QCOMPARE(kytest::readFile(global), expectedGlobalIni);
        QCOMPARE(kytest::readFile(profiles(expectedFolder + QStringLiteral("/basic.ini"))), expectedBasicIni);
    }

    // A profile OBS has chosen is written into as it is: its INI files stay
    // byte for byte, even where basic.ini is missing (OBS creates it).
    void obsStudioKeepsTheChosenProfile()
    {
        const QByteArray globalIni("[General]\r\nFirstRun=true\r\n\r\n[Basic]\r\nProfile=Main\r\nProfileDir=Main\r\n");
        QVERIFY(kytest::writeFile(roaming(QStringLiteral("obs-studio/global.ini")), globalIni));
        QVERIFY(QDir().mkpath(profiles(QStringLiteral("未命名"))));
        QVERIFY(::writeObsStudioPushCode(QStringLiteral("rtmp://a"), QStringLiteral("b")));
        QCOMPARE(kytest::readFile(roaming(QStringLiteral("obs-studio/global.ini"))), globalIni);
        QCOMPARE(QDir(profiles(QStringLiteral("Main"))).entryList(QDir::Files), QStringList{QStringLiteral("service.json")});
        QVERIFY(QDir(profiles(QStringLiteral("未命名"))).isEmpty());
    }

    // Where the profile cannot be written as OBS reads it, nothing is written
    // and the caller learns it.
    void obsStudioRefusesWhatOBSWouldNotRead_data()
    {
        QTest::addColumn<QByteArray>("globalIni");
        QTest::newRow("chosen folder outside the profiles") << QByteArray("[Basic]\nProfile=X\nProfileDir=../x\n");
        QTest::newRow("global.ini unreadable") << QByteArray();
    }

    void obsStudioRefusesWhatOBSWouldNotRead()
    {
        QFETCH(QByteArray, globalIni);
        const QString global = roaming(QStringLiteral("obs-studio/global.ini"));
        if (globalIni.isNull())
            QVERIFY(QDir().mkpath(global));  // a folder in its place cannot be read
        else
            QVERIFY(kytest::writeFile(global, globalIni));
        QVERIFY(!::writeObsStudioPushCode(QStringLiteral("rtmp://a"), QStringLiteral("b")));
        if (!globalIni.isNull())
            QCOMPARE(kytest::readFile(global), globalIni);
        QVERIFY(!QFileInfo::exists(profiles(QString())));
    }

    // OBS decodes percent escapes in the stream key before sending it, so the
    // key is stored with "%" escaped and read back as OBS sends it.
    void obsStudioKeyPercentEscapes()
    {
        const QString key = QStringLiteral("直播%41 x?secret=a%2Fb&t=%");
        QVERIFY(::writeObsStudioPushCode(QStringLiteral("rtmp://push/live?a=%41"), key));
        const QJsonObject settings = QJsonDocument::fromJson(kytest::readFile(profiles(QStringLiteral("未命名/service.json"))))
                                         .object()
                                         .value(QStringLiteral("settings"))
                                         .toObject();
        QCOMPARE(settings.value(QStringLiteral("key")).toString(), QStringLiteral("直播%2541 x?secret=a%252Fb&t=%25"));
        QCOMPARE(settings.value(QStringLiteral("server")).toString(), QStringLiteral("rtmp://push/live?a=%41"));
        QString server;
        QString readKey;
        ::readObsStudioPushCode(server, readKey);
        QCOMPARE(readKey, key);

        // A key typed into OBS itself reads as OBS sends it; "%" without two
        // hex digits after it stays.
        QVERIFY(kytest::writeFile(profiles(QStringLiteral("未命名/service.json")),
                                  R"({"settings": {"key": "k%41%e7%9b%b4z%zz%4"}})"));
        ::readObsStudioPushCode(server, readKey);
        QCOMPARE(readKey, QStringLiteral("kA直z%zz%4"));
    }

    // A profile folder read from a file must not lead the writer elsewhere.
    void obsStudioProfileMustBeAPlainName_data()
    {
        QTest::addColumn<QByteArray>("profileDir");
        QTest::newRow("parent") << QByteArray("..");
        QTest::newRow("climbing path") << QByteArray("../../../x");
        QTest::newRow("backslash path") << QByteArray("a\\..\\..\\b");
    }

    void obsStudioProfileMustBeAPlainName()
    {
        QFETCH(QByteArray, profileDir);
        QVERIFY(kytest::writeFile(roaming(QStringLiteral("obs-studio/global.ini")), "[Basic]\nProfileDir=" + profileDir + "\n"));
        QCOMPARE(::obsStudioProfileDir(), QStringLiteral("未命名"));
    }

    void configText()
    {
        const QString dir = kytest::testRoot() + QStringLiteral("/configtext");
        QDir(dir).removeRecursively();
        QDir().mkpath(dir);
        const QString file = dir + QStringLiteral("/a.json");
        QCOMPARE(::readConfigText(file), QStringLiteral("{}"));

        QVERIFY(kytest::writeFile(file, "old content that is longer"));
        QVERIFY(::writeConfigText(file, QStringLiteral("直播") + QChar(0) + QStringLiteral("after")));
        QCOMPARE(kytest::readFile(file), QStringLiteral("直播").toUtf8());
        QCOMPARE(::readConfigText(file), QStringLiteral("直播"));
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("a.json")});

        // No folder: nothing written, nothing created, and the caller learns it.
        QVERIFY(!::writeConfigText(dir + QStringLiteral("/none/b.json"), QStringLiteral("{}")));
        QVERIFY(!QFileInfo::exists(dir + QStringLiteral("/none")));
    }
};

KY_TEST_GUILESS_MAIN(TestLiveToolConfig)
#include "testlivetoolconfig.moc"
