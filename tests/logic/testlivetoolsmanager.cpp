#include "kytestmain.h"
#include "logictestsupport.h"
#include "sandboxserver.h"

#include "common/kyconstants.h"
#include "common/kypaths.h"
#include "logic/kyappstatusmonitor.h"
#include "logic/kylivetoolsmanager.h"
#include "logic/kytoolfacts.h"
#include "platform/registry.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QThread>

namespace {
QString windowsForm(QString path)
{
    return path.replace(QLatin1Char('/'), QLatin1Char('\\'));
}

QList<int> progressOf(const QSignalSpy &spy, const QString &name)
{
    QList<int> values;
    for (const QList<QVariant> &args : spy) {
        if (args.at(0).toString() == name)
            values << args.at(1).toInt();
    }
    return values;
}

// JSON written with single quotes, for readability.
QString json(const char *text)
{
    return QString::fromUtf8(text).replace(QLatin1Char('\''), QLatin1Char('"'));
}

bool hasName(const QSignalSpy &spy, const QString &name)
{
    for (const QList<QVariant> &args : spy) {
        if (args.at(0).toString() == name)
            return true;
    }
    return false;
}
} // namespace

class TestLiveToolsManager : public QObject
{
    Q_OBJECT

private:
    SandboxServer m_server;

    QString installFileUrl(const QString &fileName) const
    {
        return m_server.url(QStringLiteral("/client_download/VURuv/files/InstallFile/") + fileName);
    }

    // A copy of a served installer, as a download leaves it: not executable.
    QString downloadedInstaller(const QString &fileName)
    {
        const QString dir = kytest::testRoot() + QStringLiteral("/download");
        QDir().mkpath(dir);
        const QString path = dir + QLatin1Char('/') + fileName;
        QFile::remove(path);
        if (!QFile::copy(kytest::sandboxInstaller(fileName), path))
            return QString();
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.start());
        // Nothing another test installed (under Wine the registry and the
        // drives are the prefix's), and nothing left behind at the end.
        kytest::removeInstalledTools();
        QVERIFY(kyplatform::registryKeyExists(kyplatform::kUninstallKey));
    }

    void webApiAnswers_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("kyToolUrl");
        QTest::addColumn<QString>("kyShowUrl");
        QTest::addColumn<QString>("logLine");

        const QString both = json("{'error':0,'data':{'zbpc':{'down_url':'http://mirror.test/kt.exe'},'zbpc_show':{'down_url':'http://mirror.test/ks.exe'}}}");
        QTest::newRow("success") << 200 << both << QStringLiteral("http://mirror.test/kt.exe") << QStringLiteral("http://mirror.test/ks.exe")
                                 << QStringLiteral("by tq get KYShow download url success : http://mirror.test/ks.exe");
        QTest::newRow("error 1") << 200 << json("{'error':1,'data':{'zbpc':{'down_url':'http://mirror.test/kt.exe'}}}")
                                 << QString() << QString() << QStringLiteral("by tq get download url failed ,err code : 1");
        QTest::newRow("empty answer") << 200 << QString() << QString() << QString() << QStringLiteral("by tq get pc client info is null");
        QTest::newRow("no data") << 200 << json("{'error':0}") << QString() << QString()
                                 << QStringLiteral("by tq get download data is null ");
        QTest::newRow("show edition without url")
            << 200 << json("{'error':0,'data':{'zbpc':{'down_url':'http://mirror.test/kt.exe'},'zbpc_show':{'version':'2'}}}")
            << QStringLiteral("http://mirror.test/kt.exe") << QString() << QStringLiteral("by tq get KYShow download url failed");
        QTest::newRow("classic edition not an object")
            << 200 << json("{'error':0,'data':{'zbpc':'x','zbpc_show':{'down_url':'http://mirror.test/ks.exe'}}}")
            << QString() << QStringLiteral("http://mirror.test/ks.exe") << QStringLiteral("by tq get KYTool info failed");
        QTest::newRow("server error") << 500 << QStringLiteral("oops") << QString() << QString()
                                      << QStringLiteral("by tq obtain download url info failed");
    }

    // An empty expected URL means the download server's default.
    void webApiAnswers()
    {
        QFETCH(int, status);
        QFETCH(QString, body);
        QFETCH(QString, kyToolUrl);
        QFETCH(QString, kyShowUrl);
        QFETCH(QString, logLine);
        QVERIFY(m_server.clearRules());
        QVERIFY(m_server.addRule(QJsonObject{{QStringLiteral("path"), QStringLiteral("/api/v1/get_zbpc_client")},
                                             {QStringLiteral("status"), status},
                                             {QStringLiteral("body"), body}}));
        kytest::LogCapture log;
        KyLiveToolsManager manager;
        manager.initialize();
        const QString defaultKyTool = installFileUrl(QStringLiteral("KYTool_setup_2_3_6.exe"));
        const QString defaultKyShow = installFileUrl(QStringLiteral("KYShow_setup_2_3_4.exe"));
        // Before any answer: the defaults.
        QCOMPARE(manager.downloadUrl(TOOL_NAME_KYTOOL), defaultKyTool);
        QCOMPARE(manager.downloadUrl(TOOL_NAME_KYSHOW), defaultKyShow);

        QTRY_VERIFY_WITH_TIMEOUT(log.count(logLine) >= 3, 10000);
        QCOMPARE(manager.downloadUrl(TOOL_NAME_KYTOOL), kyToolUrl.isEmpty() ? defaultKyTool : kyToolUrl);
        QCOMPARE(manager.downloadUrl(TOOL_NAME_KYSHOW), kyShowUrl.isEmpty() ? defaultKyShow : kyShowUrl);
        QCOMPARE(manager.downloadUrl(TOOL_NAME_OBS_CLASSIC), installFileUrl(QStringLiteral("OBS_0_659b_With_Browser_Installer.exe")));
        QCOMPARE(manager.downloadUrl(TOOL_NAME_OBS_STUDIO), installFileUrl(QStringLiteral("OBS-Studio-21.0.1-Full-Installer.exe")));
        QCOMPARE(manager.downloadUrl(QStringLiteral("Other")), QString());
        QVERIFY(m_server.clearRules());
    }

    // Two installs at once, watched until their installers end; a repeated
    // installTool starts nothing; the installed tool launches and runs; the
    // uninstaller hands over to "Un_A.exe", and both are watched until the
    // last has ended.
    void installLaunchUninstall()
    {
        qputenv("KYORO_SANDBOX_INSTALL_MS", "1000");
        KyLiveToolsManager manager;
        manager.initialize();
        QSignalSpy progress(&manager, &KyLiveToolsManager::sglLiveToolInstallProgress);
        QSignalSpy finished(&manager, &KyLiveToolsManager::sglLiveToolInstallFinished);
        QSignalSpy uninstalled(&manager, &KyLiveToolsManager::sglLiveToolUnInstallFinished);

        const QString showInstaller = downloadedInstaller(QStringLiteral("KYShow_setup_2_3_4.exe"));
        const QString obsInstaller = downloadedInstaller(QStringLiteral("OBS-Studio-21.0.1-Full-Installer.exe"));
        // Forward slashes and a blank: the installer must get one folder.
        const QString showDir = kytest::testRoot() + QStringLiteral("/tools/KY Show");
        const QString obsDir = kytest::testRoot() + QStringLiteral("/tools/obs-studio");

        QVERIFY(manager.installTool(TOOL_NAME_KYSHOW, showInstaller, showDir, 15000));
        QVERIFY(manager.installTool(TOOL_NAME_OBS_STUDIO, obsInstaller, obsDir, 200));
        QVERIFY(manager.installTool(TOOL_NAME_KYSHOW, showInstaller, showDir, 15000));
        QCOMPARE(kytest::ownProcesses(QStringLiteral("KYShow_setup_2_3_4.exe")).size(), 1);
        QCOMPARE(manager.installProgress(TOOL_NAME_KYSHOW), 0);
        QVERIFY(!manager.isUninstalling(TOOL_NAME_KYSHOW));

        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 2, 20000);
        const QList<int> show = progressOf(progress, TOOL_NAME_KYSHOW);
        QVERIFY2(show.size() >= 4, qPrintable(QStringLiteral("%1 reports").arg(show.size())));
        // 200 ms ticks against 15000 ms, in integer arithmetic.
        QCOMPARE(show.mid(0, 3), QList<int>({1, 2, 4}));
        QCOMPARE(show.last(), 100);
        const QList<int> obs = progressOf(progress, TOOL_NAME_OBS_STUDIO);
        QVERIFY(obs.size() >= 2);
        for (int value : obs)
            QCOMPARE(value, 100);
        QCOMPARE(manager.installProgress(TOOL_NAME_KYSHOW), -1);

        QCOMPARE(manager.toolStatus(TOOL_NAME_KYSHOW), int(APP_INSTALLED));
        QCOMPARE(manager.appStatusMonitor()->exePath(TOOL_NAME_KYSHOW), windowsForm(showDir) + QStringLiteral("\\kyClientLancher.exe"));
        QCOMPARE(manager.toolStatus(TOOL_NAME_OBS_STUDIO), int(APP_INSTALLED));
        QVERIFY(manager.isToolInstalled(TOOL_NAME_OBS_STUDIO));

        // The launcher starts the show edition's program and leaves.
        QVERIFY(manager.launchTool(TOOL_NAME_KYSHOW));
        QTRY_COMPARE_WITH_TIMEOUT(manager.toolStatus(TOOL_NAME_KYSHOW), int(APP_RUNNING), 10000);
        kytest::endOwnProcesses({QStringLiteral("kyShow.exe")});
        QTRY_COMPARE_WITH_TIMEOUT(manager.toolStatus(TOOL_NAME_KYSHOW), int(APP_INSTALLED), 10000);

        // The uninstall command's program works a while before it hands
        // over: the uninstall is not over before it has even begun.
        qputenv("KYORO_SANDBOX_HANDOVER_MS", "1000");
        QVERIFY(manager.uninstallTool(TOOL_NAME_OBS_STUDIO));
        qunsetenv("KYORO_SANDBOX_HANDOVER_MS");
        QVERIFY(manager.isUninstalling(TOOL_NAME_OBS_STUDIO));
        QCOMPARE(manager.installProgress(TOOL_NAME_OBS_STUDIO), -1);
        QTRY_VERIFY_WITH_TIMEOUT(kytest::isRunning(QStringLiteral("Un_A.exe")) || uninstalled.count() > 0, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(uninstalled.count(), 1, 20000);
        QCOMPARE(uninstalled.at(0).at(0).toString(), TOOL_NAME_OBS_STUDIO);
        QVERIFY(!manager.isUninstalling(TOOL_NAME_OBS_STUDIO));
        QCOMPARE(manager.toolStatus(TOOL_NAME_OBS_STUDIO), int(APP_NOT_INSTALLED));
        QVERIFY(!QFileInfo::exists(obsDir));
        QVERIFY(!kyplatform::registryKeyExists(std::string(kyplatform::kUninstallKey) + "\\OBS Studio"));

        // Nothing left to uninstall: false, silently.
        QVERIFY(!manager.uninstallTool(TOOL_NAME_OBS_STUDIO));
        QVERIFY(!hasName(uninstalled, TOOL_NAME_KYSHOW));
    }

    // An installer that is gone before the first tick completes the task at
    // that tick. OBS Classic is found only in its fixed folder.
    void installerGoneAtFirstTick()
    {
        qputenv("KYORO_SANDBOX_INSTALL_MS", "0");
        KyLiveToolsManager manager;
        manager.initialize();
        QSignalSpy progress(&manager, &KyLiveToolsManager::sglLiveToolInstallProgress);
        QSignalSpy finished(&manager, &KyLiveToolsManager::sglLiveToolInstallFinished);
        const QString installerName = QStringLiteral("OBS_0_659b_With_Browser_Installer.exe");
        const QString installer = downloadedInstaller(installerName);
        QVERIFY(manager.installTool(TOOL_NAME_OBS_CLASSIC, installer, QStringLiteral("C:/Program Files (x86)/OBS"), 15000));
        // The ticks come from the event loop, which stays still until the
        // installer has ended: on a loaded machine it may well outlive a tick.
        QDeadlineTimer deadline(20000);
        while (kytest::isRunning(installerName) && !deadline.hasExpired())
            QThread::msleep(20);
        QVERIFY(!kytest::isRunning(installerName));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
        QCOMPARE(progressOf(progress, TOOL_NAME_OBS_CLASSIC), QList<int>{100});
        QCOMPARE(manager.toolStatus(TOOL_NAME_OBS_CLASSIC), int(APP_INSTALLED));
        QCOMPARE(manager.appStatusMonitor()->exePath(TOOL_NAME_OBS_CLASSIC), QStringLiteral("C:\\Program Files (x86)\\OBS\\OBS.exe"));
        QCOMPARE(manager.appStatusMonitor()->uninstallCommand(TOOL_NAME_OBS_CLASSIC),
                 QStringLiteral("C:\\Program Files (x86)\\OBS\\uninstall.exe"));
    }

    void failuresAreLogged()
    {
        KyLiveToolsManager manager;
        manager.initialize();
        kytest::LogCapture log;
        QVERIFY(!manager.installTool(TOOL_NAME_KYTOOL, kytest::testRoot() + QStringLiteral("/missing/setup.exe"),
                                     kytest::testRoot() + QStringLiteral("/tools/x"), 15000));
        QVERIFY(log.contains(QStringLiteral("by tq open Kyoro直播伴侣 install failed,err code : 2")));
        QCOMPARE(manager.installProgress(TOOL_NAME_KYTOOL), -1);
        QVERIFY(!manager.launchTool(TOOL_NAME_KYTOOL));
        QVERIFY(log.contains(QStringLiteral("by tq launch Kyoro直播伴侣 failed , path : ")));
    }

    // A quoted uninstaller path (as many installers write it) is run
    // without its quotes.
    void quotedUninstallStringRuns()
    {
        qputenv("KYORO_SANDBOX_INSTALL_MS", "200");
        KyLiveToolsManager manager;
        manager.initialize();
        QSignalSpy finished(&manager, &KyLiveToolsManager::sglLiveToolInstallFinished);
        QSignalSpy uninstalled(&manager, &KyLiveToolsManager::sglLiveToolUnInstallFinished);
        const QString dir = QStringLiteral("D:\\Quoted Tools\\KYTool");
        QVERIFY(manager.installTool(TOOL_NAME_KYTOOL, downloadedInstaller(QStringLiteral("KYTool_setup_2_3_6.exe")), dir, 15000));
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
        const std::string key = std::string(kyplatform::kUninstallKey) + "\\" + TOOL_NAME_KYTOOL.toStdString();
        QVERIFY(kyplatform::registryWriteString(key, "UninstallString", "\"D:\\Quoted Tools\\KYTool\\uninstall.exe\""));
        QVERIFY(manager.isToolInstalled(TOOL_NAME_KYTOOL));
        QVERIFY(manager.uninstallTool(TOOL_NAME_KYTOOL));
        QTRY_COMPARE_WITH_TIMEOUT(uninstalled.count(), 1, 10000);
        QCOMPARE(manager.toolStatus(TOOL_NAME_KYTOOL), int(APP_NOT_INSTALLED));
        QVERIFY(!dirExists(dir));
    }
};

KY_TEST_GUILESS_MAIN(TestLiveToolsManager)
#include "testlivetoolsmanager.moc"
