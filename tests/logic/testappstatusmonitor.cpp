#include "kytestmain.h"
#include "logictestsupport.h"
#include "sandboxserver.h"

#include "common/kyconstants.h"
#include "common/kypaths.h"
#include "logic/kyappstatusmonitor.h"
#include "logic/kylivetoolsmanager.h"
#include "logic/kytoolfacts.h"
#include "platform/registry.h"

#include <QElapsedTimer>
#include <QSignalSpy>

namespace {
std::string entryKey(const QString &subkey)
{
    return std::string(kyplatform::kUninstallKey) + "\\" + subkey.toStdString();
}
} // namespace

// The monitor as the tools manager sets it up, with the real catalogue.
class TestAppStatusMonitor : public QObject
{
    Q_OBJECT

private:
    SandboxServer m_server;
    KyLiveToolsManager *m_manager = nullptr;
    KyAppStatusMonitor *monitor() { return m_manager->appStatusMonitor(); }

    void clearMachine()
    {
        kytest::removeInstalledTools();
        QVERIFY(kyplatform::registryKeyExists(kyplatform::kUninstallKey));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.start());
        m_manager = new KyLiveToolsManager;
        m_manager->initialize();
    }

    void cleanupTestCase()
    {
        delete m_manager;
    }

    void init() { clearMachine(); }

    void statusFromRegistry_data()
    {
        QTest::addColumn<QString>("subkey");
        QTest::addColumn<QString>("displayName");
        QTest::addColumn<QString>("uninstallString");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QString>("exePath");

        const QString obsDir = QStringLiteral("D:\\Tools\\OBS Studio\\");
        const QString obs32 = obsDir + QStringLiteral("bin\\32bit\\obs32.exe");
        const QString obs64 = obsDir + QStringLiteral("bin\\64bit\\obs64.exe");
        const QString obsUninstall = obsDir + QStringLiteral("uninstall.exe");
        const QString classicX86 = QStringLiteral("C:\\Program Files (x86)\\OBS\\OBS.exe");
        const QString classic = QStringLiteral("C:\\Program Files\\OBS\\OBS.exe");

        QTest::newRow("both programs: the 32-bit one wins")
            << TOOL_NAME_OBS_STUDIO << TOOL_NAME_OBS_STUDIO << obsUninstall << QStringList{obs32, obs64} << TOOL_NAME_OBS_STUDIO << obs32;
        QTest::newRow("64-bit program only")
            << TOOL_NAME_OBS_STUDIO << TOOL_NAME_OBS_STUDIO << obsUninstall << QStringList{obs64} << TOOL_NAME_OBS_STUDIO << obs64;
        QTest::newRow("quoted uninstall string")
            << TOOL_NAME_OBS_STUDIO << TOOL_NAME_OBS_STUDIO << (QLatin1Char('"') + obsUninstall + QLatin1Char('"'))
            << QStringList{obs64} << TOOL_NAME_OBS_STUDIO << obs64;
        QTest::newRow("GUID subkey is ignored")
            << QStringLiteral("{6A2F0B7C-1D3E-4F5A-9B8C-7D6E5F4A3B2C}") << TOOL_NAME_OBS_STUDIO << obsUninstall
            << QStringList{obs32} << TOOL_NAME_OBS_STUDIO << QString();
        QTest::newRow("subkey in other letter case is ignored")
            << QStringLiteral("obs studio") << TOOL_NAME_OBS_STUDIO << obsUninstall << QStringList{obs32} << TOOL_NAME_OBS_STUDIO << QString();
        QTest::newRow("display name that is no tool")
            << TOOL_NAME_OBS_STUDIO << QStringLiteral("OBS Studio 30") << obsUninstall << QStringList{obs32} << TOOL_NAME_OBS_STUDIO << QString();
        QTest::newRow("entry without program files")
            << TOOL_NAME_OBS_STUDIO << TOOL_NAME_OBS_STUDIO << obsUninstall << QStringList() << TOOL_NAME_OBS_STUDIO << QString();
        QTest::newRow("platform tool's launcher")
            << TOOL_NAME_KYTOOL << TOOL_NAME_KYTOOL << QStringLiteral("E:\\KY\\uninstall.exe")
            << QStringList{QStringLiteral("E:\\KY\\kyClientLancher.exe")} << TOOL_NAME_KYTOOL << QStringLiteral("E:\\KY\\kyClientLancher.exe");
        QTest::newRow("OBS Classic prefers Program Files (x86)")
            << TOOL_NAME_OBS_CLASSIC << TOOL_NAME_OBS_CLASSIC << QStringLiteral("D:\\Elsewhere\\uninstall.exe")
            << QStringList{classic, classicX86} << TOOL_NAME_OBS_CLASSIC << classicX86;
        QTest::newRow("OBS Classic needs a backslash in the uninstall string")
            << TOOL_NAME_OBS_CLASSIC << TOOL_NAME_OBS_CLASSIC << QStringLiteral("uninstall.exe")
            << QStringList{classic} << TOOL_NAME_OBS_CLASSIC << QString();
    }

    void statusFromRegistry()
    {
        QFETCH(QString, subkey);
        QFETCH(QString, displayName);
        QFETCH(QString, uninstallString);
        QFETCH(QStringList, files);
        QFETCH(QString, tool);
        QFETCH(QString, exePath);

        QVERIFY(kyplatform::registryWriteString(entryKey(subkey), "DisplayName", displayName.toStdString()));
        QVERIFY(kyplatform::registryWriteString(entryKey(subkey), "UninstallString", uninstallString.toStdString()));
        for (const QString &file : qAsConst(files))
            QVERIFY(kytest::writeFile(nativePath(file), "program"));

        const bool installed = !exePath.isEmpty();
        QCOMPARE(monitor()->toolStatus(tool), installed ? int(APP_INSTALLED) : int(APP_NOT_INSTALLED));
        QCOMPARE(monitor()->exePath(tool), exePath);
        QCOMPARE(monitor()->isToolInstalled(tool), installed);
        // The stored text, quotes and all.
        QCOMPARE(monitor()->uninstallCommand(tool), installed ? uninstallString : QString());
    }

    void runningToolsCountByExactProcessName()
    {
        {
            kytest::ToolProcess wrongCase(QStringLiteral("OBS64.exe"));
            QVERIFY(wrongCase.started());
            QTRY_VERIFY(kytest::isRunning(QStringLiteral("OBS64.exe")));
            QCOMPARE(monitor()->toolStatus(TOOL_NAME_OBS_STUDIO), int(APP_NOT_INSTALLED));

            // Running without being installed: status 2, but no program path.
            kytest::ToolProcess obs(QStringLiteral("obs64.exe"));
            QVERIFY(obs.started());
            QTRY_COMPARE(monitor()->toolStatus(TOOL_NAME_OBS_STUDIO), int(APP_RUNNING));
            QCOMPARE(monitor()->exePath(TOOL_NAME_OBS_STUDIO), QString());
            QVERIFY(!monitor()->isToolInstalled(TOOL_NAME_OBS_STUDIO));
            QCOMPARE(monitor()->toolStatus(TOOL_NAME_KYTOOL), int(APP_NOT_INSTALLED));
        }
        QTRY_COMPARE(monitor()->toolStatus(TOOL_NAME_OBS_STUDIO), int(APP_NOT_INSTALLED));
    }

    // Every tick reports every tool, changed or not; a monitor without tools
    // reports nothing.
    void tickReportsEveryTool()
    {
        QSignalSpy spy(monitor(), &KyAppStatusMonitor::sglUpdateAppStatus);
        QTRY_VERIFY_WITH_TIMEOUT(spy.count() >= 8, 5000);
        QStringList names;
        for (int i = 0; i < 4; ++i)
            names << spy.at(i).at(0).toString();
        QStringList expected{TOOL_NAME_KYTOOL, TOOL_NAME_KYSHOW, TOOL_NAME_OBS_CLASSIC, TOOL_NAME_OBS_STUDIO};
        std::sort(expected.begin(), expected.end());
        QCOMPARE(names, expected);
        QCOMPARE(spy.at(4).at(0).toString(), names.first());

        KyAppStatusMonitor empty;
        QSignalSpy emptySpy(&empty, &KyAppStatusMonitor::sglUpdateAppStatus);
        QTest::qWait(1200);
        QCOMPARE(emptySpy.count(), 0);
    }

    void uninstallerProcessOfFirstCandidate()
    {
        QCOMPARE(monitor()->uninstallerProcess(TOOL_NAME_OBS_STUDIO), QStringLiteral("Un_A.exe"));
        QCOMPARE(monitor()->uninstallerProcess(TOOL_NAME_OBS_CLASSIC), QStringLiteral("Au_.exe"));
        QCOMPARE(monitor()->uninstallerProcess(TOOL_NAME_KYSHOW), QStringLiteral("Au_.exe"));
        QCOMPARE(monitor()->uninstallerProcess(QStringLiteral("Other")), QString());
        QCOMPARE(monitor()->toolStatus(QStringLiteral("Other")), int(APP_NOT_INSTALLED));
    }

    // The sandbox's kyoro-reg writes the same store the monitor reads.
    void entryWrittenWithKyoroReg()
    {
        const QString tool = kytest::programFile(kytest::sandboxDir() + QStringLiteral("/bin/kyoro-reg"));
        const QString key = QString::fromLatin1(kyplatform::kUninstallKey) + QLatin1Char('\\') + TOOL_NAME_KYSHOW;
        QVERIFY(kytest::writeFile(nativePath(QStringLiteral("F:\\Show\\kyClientLancher.exe")), "program"));
        QCOMPARE(QProcess::execute(tool, {QStringLiteral("add"), key, QStringLiteral("DisplayName"), TOOL_NAME_KYSHOW,
                                          QStringLiteral("UninstallString"), QStringLiteral("F:\\Show\\uninstall.exe")}), 0);
        QCOMPARE(monitor()->toolStatus(TOOL_NAME_KYSHOW), int(APP_INSTALLED));
        QProcess list;
        list.start(tool, {QStringLiteral("list"), key});
        QVERIFY(list.waitForFinished(10000));
        QCOMPARE(QString::fromUtf8(list.readAllStandardOutput()).remove(QLatin1Char('\r')),
                 QStringLiteral("DisplayName=%1\nUninstallString=F:\\Show\\uninstall.exe\n").arg(TOOL_NAME_KYSHOW));
        QCOMPARE(QProcess::execute(tool, {QStringLiteral("delete"), key}), 0);
        QCOMPARE(monitor()->toolStatus(TOOL_NAME_KYSHOW), int(APP_NOT_INSTALLED));
        QCOMPARE(QProcess::execute(tool, {QStringLiteral("query"), key, QStringLiteral("DisplayName")}), 1);
    }

    // A setup or uninstaller run outside the program changes the uninstall
    // entries; the next ticks show it (within 2 s) without anyone asking for
    // the status.
    void changesOutsideTheProgramShowWithinTwoSeconds()
    {
        QSignalSpy spy(monitor(), &KyAppStatusMonitor::sglUpdateAppStatus);
        const auto reportedSince = [&spy](int from, int status) {
            for (int i = from; i < spy.size(); ++i) {
                if (spy.at(i).at(0).toString() == TOOL_NAME_OBS_STUDIO && spy.at(i).at(1).toInt() == status)
                    return true;
            }
            return false;
        };
        QTRY_VERIFY(reportedSince(0, APP_NOT_INSTALLED));

        qputenv("KYORO_SANDBOX_INSTALL_MS", "300");
        QVERIFY(kytest::installOutside(QStringLiteral("OBS-Studio-21.0.1-Full-Installer.exe"),
                                       QStringLiteral("D:\\Outside\\OBS Studio")));
        int mark = spy.size();
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(reportedSince(mark, APP_INSTALLED), 5000);
        QVERIFY2(clock.elapsed() <= 2000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(monitor()->exePath(TOOL_NAME_OBS_STUDIO), QStringLiteral("D:\\Outside\\OBS Studio\\bin\\32bit\\obs32.exe"));

        QVERIFY(kytest::uninstallOutside(TOOL_NAME_OBS_STUDIO));
        mark = spy.size();
        clock.restart();
        QTRY_VERIFY_WITH_TIMEOUT(reportedSince(mark, APP_NOT_INSTALLED), 5000);
        QVERIFY2(clock.elapsed() <= 2000, qPrintable(QString::number(clock.elapsed())));
    }

    void missingUninstallKeyIsLogged()
    {
        QVERIFY(kyplatform::registryDeleteTree(kyplatform::kUninstallKey));
        kytest::LogCapture log;
        QCOMPARE(monitor()->toolStatus(TOOL_NAME_OBS_STUDIO), int(APP_NOT_INSTALLED));
        QVERIFY(log.contains(QStringLiteral("by tq open regedit failed")));
    }
};

KY_TEST_GUILESS_MAIN(TestAppStatusMonitor)
#include "testappstatusmonitor.moc"
