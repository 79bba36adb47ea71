#include "kytestmain.h"

#include "common/installpathsettings.h"
#include "common/kyconstants.h"
#include "common/kypaths.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

class TestPaths : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QDir(appDir() + QStringLiteral("/tools")).removeRecursively();
        QDir(QStandardPaths::writableLocation(QStandardPaths::DataLocation)).removeRecursively();
        QFile::remove(appVersionFilePath());
    }

    void firstStartOnCleanAccount()
    {
        const QString data = QStandardPaths::writableLocation(QStandardPaths::DataLocation);
        QVERIFY(!QDir(data).exists());
        InstallPathSettings settings;
        QCOMPARE(settings.installPath(TOOL_NAME_KYTOOL), appDir() + QStringLiteral("/tools/KYTool"));
        QCOMPARE(settings.installPath(TOOL_NAME_KYSHOW), appDir() + QStringLiteral("/tools/KYShowTool"));
        QCOMPARE(settings.installPath(TOOL_NAME_OBS_STUDIO), appDir() + QStringLiteral("/tools/obs-studio"));
        // The monitor only finds OBS Classic below "Program Files (x86)\OBS".
        QCOMPARE(settings.installPath(TOOL_NAME_OBS_CLASSIC), QStringLiteral("C:/Program Files (x86)/OBS"));
        for (const char *dir : {"tools/KYTool", "tools/KYShowTool", "tools/obs-studio"})
            QVERIFY2(QDir(appDir() + QLatin1Char('/') + QLatin1String(dir)).exists(), dir);
        QVERIFY(dataDir().endsWith(QLatin1Char('/')));
        QVERIFY(QDir(data).exists());
        QCOMPARE(dataDir(), data + QLatin1Char('/'));
    }

    void defaultFoldersAreCreatedWhateverIsStored()
    {
        {
            QSettings stored(systemSettingFilePath(), QSettings::IniFormat);
            stored.setValue(QStringLiteral("KYTool/installPath"), QStringLiteral("/somewhere/else"));
        }
        InstallPathSettings settings;
        QCOMPARE(settings.installPath(TOOL_NAME_KYTOOL), QStringLiteral("/somewhere/else"));
        QVERIFY(QDir(appDir() + QStringLiteral("/tools/KYTool")).exists());
    }

    void settingsSurviveARestart()
    {
        const QString studio = QStringLiteral("D:/Apps/obs-studio");
        const QString kyShow = QStringLiteral("/opt/秀场");
        {
            InstallPathSettings settings;
            settings.setInstallPath(TOOL_NAME_OBS_STUDIO, studio);
            settings.setInstallPath(TOOL_NAME_KYSHOW, kyShow);
            settings.setInstallPath(TOOL_NAME_OBS_CLASSIC, QStringLiteral("E:/Elsewhere"));
        }
        InstallPathSettings settings;
        QCOMPARE(settings.installPath(TOOL_NAME_OBS_STUDIO), studio);
        QCOMPARE(settings.installPath(TOOL_NAME_KYSHOW), kyShow);
        QCOMPARE(settings.installPath(TOOL_NAME_OBS_CLASSIC), QStringLiteral("C:/Program Files (x86)/OBS"));
        // The OBS Classic folder is read, never written.
        QSettings stored(systemSettingFilePath(), QSettings::IniFormat);
        QVERIFY(!stored.contains(QStringLiteral("OBS/installPath")));
        QVERIFY(stored.contains(QStringLiteral("obs-studio/installPath")));
    }

    void obsClassicFolderIsReadButNeverChanged()
    {
        {
            QSettings stored(systemSettingFilePath(), QSettings::IniFormat);
            stored.setValue(QStringLiteral("OBS/installPath"), QStringLiteral("F:/OBS"));
        }
        InstallPathSettings settings;
        QCOMPARE(settings.installPath(TOOL_NAME_OBS_CLASSIC), QStringLiteral("F:/OBS"));
        settings.setInstallPath(TOOL_NAME_OBS_CLASSIC, QStringLiteral("G:/OBS"));
        QCOMPARE(settings.installPath(TOOL_NAME_OBS_CLASSIC), QStringLiteral("F:/OBS"));
    }

    void unknownNames()
    {
        InstallPathSettings settings;
        settings.setInstallPath(QStringLiteral("obs studio"), QStringLiteral("/x"));
        QCOMPARE(settings.installPath(QStringLiteral("obs studio")), QString());
        QCOMPARE(settings.installPath(QString()), QString());
        QCOMPARE(settings.installPath(TOOL_NAME_OBS_STUDIO), appDir() + QStringLiteral("/tools/obs-studio"));
    }

    void appVersionFromDeliveredFile()
    {
        QCOMPARE(appVersion(), QStringLiteral("V1.0.0"));
        QVERIFY(kytest::writeFile(appVersionFilePath(), "[Version]\r\nversion=V2.3.4\r\n"));
        QCOMPARE(appVersion(), QStringLiteral("V2.3.4"));
        QVERIFY(kytest::writeFile(appVersionFilePath(), "[Other]\nversion=V9\n"));
        QCOMPARE(appVersion(), QStringLiteral("V1.0.0"));
    }

    void fixedLocations()
    {
        QCOMPARE(appVersionFilePath(), appDir() + QStringLiteral("/deault.data"));
        QCOMPARE(systemSettingFilePath(), dataDir() + QStringLiteral("systemSetting"));
        QCOMPARE(moduleListFilePath(), dataDir() + QStringLiteral("moduleList"));
        QCOMPARE(downloadDir(), appDir() + QStringLiteral("/download"));
        QVERIFY(QDir(downloadDir()).exists());
        QCOMPARE(moduleDir(), appDir() + QStringLiteral("/module"));
        QCOMPARE(liveCodeModuleDir(), appDir() + QStringLiteral("/module/LiveCodeModule"));
        QCOMPARE(liveCodeModuleExePath(), appDir() + QStringLiteral("/module/LiveCodeModule/LiveCodeModule.exe"));
        QCOMPARE(localAppDataRoot(), kytest::dataHome() + QLatin1Char('/'));
        // On Linux the roaming root is where OBS Studio keeps "obs-studio/".
        QCOMPARE(roamingAppDataRoot(), kytest::configHome() + QLatin1Char('/'));
    }

    void rootCuts_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("root");
        QTest::newRow("slashes") << "C:/Users/u/AppData/Local/VURuv" << "C:/Users/u/AppData/Local/";
        QTest::newRow("backslashes") << "C:\\Users\\u\\AppData\\Roaming\\VURuv" << "C:\\Users\\u\\AppData\\Roaming\\";
        QTest::newRow("slash wins over backslash") << "C:\\a/b\\c" << "C:\\a/";
        QTest::newRow("trailing slash") << "/home/u/.config/" << "/home/u/.config/";
        QTest::newRow("no separator") << "VURuv" << "/";
    }

    void rootCuts()
    {
        QFETCH(QString, location);
        QFETCH(QString, root);
        QCOMPARE(rootOfLocation(location), root);
    }

    void windowsPathsMapToDriveFolders()
    {
        if (kytest::windowsBuild()) {
            // Windows takes its own paths as they are.
            for (const QString &path : {QStringLiteral("C:\\Program Files (x86)\\OBS\\OBS.exe"), QStringLiteral("D:/Apps"),
                                        QStringLiteral("\\home\\u\\tools\\x.exe")})
                QCOMPARE(nativePath(path), path);
            const QString file = kytest::tempDir() + QStringLiteral("/Program Files/OBS/OBS.exe");
            QVERIFY(!dirExists(QDir::toNativeSeparators(file)));
            QVERIFY(kytest::writeFile(file, "x"));
            QVERIFY(dirExists(QDir::toNativeSeparators(file)));
            QVERIFY(dirExists(QDir::toNativeSeparators(kytest::tempDir() + QStringLiteral("/program files/obs"))));
            QVERIFY(!dirExists(QString()));
            return;
        }
        const QString drives = kytest::drivesDir();
        QCOMPARE(nativePath(QStringLiteral("C:\\Program Files (x86)\\OBS\\OBS.exe")),
                 drives + QStringLiteral("/c/Program Files (x86)/OBS/OBS.exe"));
        QCOMPARE(nativePath(QStringLiteral("D:/Apps")), drives + QStringLiteral("/d/Apps"));
        QCOMPARE(nativePath(QStringLiteral("Z:")), drives + QStringLiteral("/z"));
        QCOMPARE(nativePath(QStringLiteral("\\home\\u\\tools\\x.exe")), QStringLiteral("/home/u/tools/x.exe"));
        QCOMPARE(nativePath(QStringLiteral("/already/native")), QStringLiteral("/already/native"));

        QVERIFY(!dirExists(QStringLiteral("C:\\Program Files\\OBS\\OBS.exe")));
        QVERIFY(kytest::writeFile(drives + QStringLiteral("/c/Program Files/OBS/OBS.exe"), "x"));
        QVERIFY(dirExists(QStringLiteral("C:\\Program Files\\OBS\\OBS.exe")));
        QVERIFY(dirExists(QStringLiteral("c:/Program Files/OBS")));
        QVERIFY(!dirExists(QString()));
    }

    void readTextFileAsUtf8()
    {
        const QString path = kytest::tempDir() + QStringLiteral("/sheet.qss");
        QVERIFY(kytest::writeFile(path, QStringLiteral("font-family: \"宋体\";").toUtf8()));
        QCOMPARE(readTextFile(path), QStringLiteral("font-family: \"宋体\";"));
        QCOMPARE(readTextFile(path + QStringLiteral(".missing")), QString());
    }

    // The stand-in crash reporter writes its arguments to "BugReporter.args"
    // in its working folder.
    void startDetachedRunsInTheProgramsOwnFolder()
    {
        QVERIFY(!startDetachedInOwnDir(QString(), {}));
        const QString reporter = kytest::sandboxDir() + QStringLiteral("/bugreporter/BugReporter.exe");
        const QString dir = kytest::tempDir() + QStringLiteral("/a b/tool");
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(QFile::copy(reporter, dir + QStringLiteral("/BugReporter.exe")));
        QVERIFY(startDetachedInOwnDir(dir + QStringLiteral("/BugReporter.exe"), {QStringLiteral("one word")}));
        QTRY_COMPARE_WITH_TIMEOUT(kytest::readFile(dir + QStringLiteral("/BugReporter.args")),
                                  QByteArray("one word\0\n", 10), 10000);

        // A program given in Windows form starts from its folder too: on
        // Linux the mapped one.
        const QString other = kytest::windowsBuild() ? kytest::tempDir() + QStringLiteral("/e/t")
                                                     : kytest::drivesDir() + QStringLiteral("/e/t");
        QVERIFY(QDir().mkpath(other));
        QVERIFY(QFile::copy(reporter, other + QStringLiteral("/BugReporter.exe")));
        const QString windowsForm = kytest::windowsBuild()
            ? QDir::toNativeSeparators(other + QStringLiteral("/BugReporter.exe"))
            : QStringLiteral("E:\\t\\BugReporter.exe");
        QVERIFY(startDetachedInOwnDir(windowsForm, {QStringLiteral("two")}));
        QTRY_COMPARE_WITH_TIMEOUT(kytest::readFile(other + QStringLiteral("/BugReporter.args")), QByteArray("two\0\n", 5),
                                  10000);

        QVERIFY(!startDetachedInOwnDir(dir + QStringLiteral("/missing"), {}));
    }
};

KY_TEST_GUILESS_MAIN(TestPaths)
#include "testpaths.moc"
