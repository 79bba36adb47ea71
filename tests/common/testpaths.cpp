#include "kytestmain.h"

#include "common/kypaths.h"

#include <QDir>
#include <QFile>
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
