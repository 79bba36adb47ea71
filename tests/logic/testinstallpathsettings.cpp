#include "kytestmain.h"

#include "common/kypaths.h"
#include "logic/installpathsettings.h"
#include "logic/kytoolfacts.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

// The install folders in "systemSetting": the keys and default folders other
// versions of the program and the setup package read and make.
class TestInstallPathSettings : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QDir(appDir() + QStringLiteral("/tools")).removeRecursively();
        QDir(QStandardPaths::writableLocation(QStandardPaths::DataLocation)).removeRecursively();
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

};

KY_TEST_GUILESS_MAIN(TestInstallPathSettings)
#include "testinstallpathsettings.moc"
