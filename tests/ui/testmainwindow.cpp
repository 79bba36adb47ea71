#include "kytestmain.h"
#include "kytesttools.h"
#include "mainwindowstate.h"
#include "ownprocesses.h"
#include "sandboxserver.h"
#include "uitesthelpers.h"

#include "common/kyhosts.h"
#include "common/kypaths.h"
#include "common/kyprocesses.h"
#include "common/kytexts.h"
#include "download/kyfiledownloadermgr.h"
#include "logic/kylivetoolsmanager.h"
#include "logic/kylivetoolconfig.h"
#include "logic/kylogicfw.h"
#include "logic/kytoolfacts.h"
#include "logic/uilogiclistener.h"
#include "ui/kyoromanager.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>
#include <memory>

namespace {
const QString kInstallRoot = QStringLiteral("/client_download/VURuv/files/InstallFile/");

constexpr int kDialogTimeout = 15000;

// Answers the next modal dialog: accept or reject; notes its name in `title`.
void answerNextDialog(bool accept, QString *title = nullptr)
{
    kytest::answerNextModal<QDialog>([accept, title](QDialog *dialog) {
        if (title)
            *title = dialog->objectName();
        if (accept)
            dialog->accept();
        else
            dialog->reject();
    }, kDialogTimeout);
}
} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    SandboxServer m_server;
    std::unique_ptr<kyoroManager> m_window;
    kytest::UrlCatcher m_urls;

    template<typename T>
    T *child(const char *name) { return ::child<T>(m_window.get(), name); }
    // Shown as far as the window's own logic goes (the card's page may be the
    // one not on top).
    bool shown(const char *name) { return !child<QWidget>(name)->isHidden(); }
    void click(const char *name) { QTest::mouseClick(child<QAbstractButton>(name), Qt::LeftButton); }
    KyLiveToolsManager *tools() { return KyLogicFW::instance()->liveToolsManager(); }
    KyFileDownloaderMgr *downloads() { return KyFileDownloaderMgr::instance(); }
    void setStatus(int status)
    {
        QMetaObject::invokeMethod(m_window.get(), "sltUpdateAppStatus", Q_ARG(QString, kytest::shownTool(m_window.get())), Q_ARG(int, status));
    }

    void removeTools()
    {
        kytest::removeInstalledTools();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.start());
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_urls, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_urls, "open");
        removeTools();
        m_window = std::make_unique<kyoroManager>();
        m_window->initLogic();
    }

    void cleanupTestCase()
    {
        m_window.reset();
        removeTools();
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    }

    void init()
    {
        m_server.clearRules();
        click("button_KyoroLive");
        child<QRadioButton>("radio_kyTool")->click();
        QTRY_COMPARE(kytest::shownTool(m_window.get()), TOOL_NAME_KYTOOL);
        QTest::qWait(20); // the switch re-reads the status from the event loop
    }

    void initialStateBeforeShow()
    {
        QCOMPARE(kytest::shownTool(m_window.get()), TOOL_NAME_KYTOOL);
        QVERIFY(!m_window->isVisible());
        QCOMPARE(child<QStackedWidget>("stackedWidget")->currentWidget(), child<QWidget>("page_live"));
        QCOMPARE(child<QStackedWidget>("stackedWidget_2")->currentWidget(), child<QWidget>("page_kyoroPage"));
        for (const char *name : {"progressBar_main", "button_cancelDownload", "label_progressValue", "progressBar_OBS",
                                 "button_cancelDownload_2", "label_progressValue_2"})
            QVERIFY2(!shown(name), name);
        QCOMPARE(child<QLabel>("label_kyoroTitle")->text(), TOOL_NAME_KYTOOL);
        QCOMPARE(child<QLabel>("label_kyoro_introduce")->text(), INTRODUCTION_KYTOOL);
        QCOMPARE(child<QLabel>("label_OBSTitle")->text(), CARD_TITLE_OBS_CLASSIC);
        QVERIFY(child<QPushButton>("button_KyoroLive")->isChecked());
        QVERIFY(shown("button_install_kyoro"));
    }

    void cardFollowsTheStatus_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("visible");
        QTest::addColumn<QStringList>("hidden");
        QTest::newRow("not installed") << 0 << QStringList{"button_install_kyoro", "button_install_OBS"}
                                       << QStringList{"button_open_kyoro", "button_open_OBS", "button_running_kyoro", "button_running_OBS", "button_liveset"};
        QTest::newRow("installed") << 1 << QStringList{"button_open_kyoro", "button_open_OBS", "button_liveset"}
                                   << QStringList{"button_install_kyoro", "button_install_OBS", "button_running_kyoro", "button_running_OBS"};
        QTest::newRow("running") << 2 << QStringList{"button_running_kyoro", "button_running_OBS"}
                                 << QStringList{"button_install_kyoro", "button_install_OBS", "button_open_kyoro", "button_open_OBS", "button_liveset"};
    }

    void cardFollowsTheStatus()
    {
        QFETCH(int, status);
        QFETCH(QStringList, visible);
        QFETCH(QStringList, hidden);
        setStatus(status == 0 ? 1 : 0);
        setStatus(status);
        for (const QString &name : visible)
            QVERIFY2(shown(name.toLatin1().constData()), qPrintable(name));
        for (const QString &name : hidden)
            QVERIFY2(!shown(name.toLatin1().constData()), qPrintable(name));
        QCOMPARE(child<QPushButton>("button_running_kyoro")->isEnabled(), status != 2);
        setStatus(tools()->toolStatus(kytest::shownTool(m_window.get())));
    }

    void obsClassicDownloadsWithoutDialogAndCancels()
    {
        // A slow installer keeps the download running while the card is read.
        QVERIFY(m_server.addRule(QJsonObject{{"path", QString(kInstallRoot + "OBS_0_659b_With_Browser_Installer.exe")}, {"slow", 200000}}));
        click("button_OBSLive");
        child<QRadioButton>("radio_classic")->click();
        QTRY_COMPARE(kytest::shownTool(m_window.get()), TOOL_NAME_OBS_CLASSIC);
        QTest::qWait(20);
        click("button_install_OBS");
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(downloads()->downloadProgress(TOOL_NAME_OBS_CLASSIC) >= 0);
        QVERIFY(shown("progressBar_OBS"));
        QVERIFY(shown("button_cancelDownload_2"));
        QVERIFY(child<QLabel>("label_progressValue_2")->text().startsWith(QStringLiteral("正在下载：")));
        QVERIFY(m_server.waitForEvent(QStringLiteral("click_install")).value(QStringLiteral("e")).toObject().value(QStringLiteral("type")).toInt() == 3);

        click("button_cancelDownload_2");
        QVERIFY(!shown("progressBar_OBS"));
        QVERIFY(!shown("button_cancelDownload_2"));
        QVERIFY(!shown("label_progressValue_2"));
        QCOMPARE(downloads()->downloadProgress(TOOL_NAME_OBS_CLASSIC), -1);
        QTRY_VERIFY(QDir(downloadDir()).entryList(QDir::Files).isEmpty());
    }

    void cancellingTheFolderDialogStartsNothing()
    {
        QString dialog;
        answerNextDialog(false, &dialog);
        click("button_install_kyoro");
        QCOMPARE(dialog, QStringLiteral("kyInstallWidget"));
        QCOMPARE(downloads()->downloadProgress(TOOL_NAME_KYTOOL), -1);
        QVERIFY(!shown("progressBar_main"));
    }

    void switchingAwayAndBackShowsTheDownload()
    {
        QVERIFY(m_server.addRule(QJsonObject{{"path", QString(kInstallRoot + "KYTool_setup_2_3_6.exe")}, {"slow", 100000}}));
        answerNextDialog(true);
        click("button_install_kyoro");
        QTRY_VERIFY(downloads()->downloadProgress(TOOL_NAME_KYTOOL) >= 0);
        QVERIFY(shown("progressBar_main"));

        child<QRadioButton>("radio_kyShow")->click();
        QTRY_VERIFY(!shown("progressBar_main"));
        QCOMPARE(kytest::shownTool(m_window.get()), TOOL_NAME_KYSHOW);

        child<QRadioButton>("radio_kyTool")->click();
        QTRY_VERIFY(shown("progressBar_main"));
        const int progress = downloads()->downloadProgress(TOOL_NAME_KYTOOL);
        QVERIFY(child<QLabel>("label_progressValue")->text().startsWith(QStringLiteral("正在下载：")));
        QVERIFY(child<QProgressBar>("progressBar_main")->value() <= progress + 5);
        click("button_cancelDownload");
        QVERIFY(!shown("progressBar_main"));
    }

    // A setup run outside the program turns the card to its open button
    // within 2 s, and an uninstall outside turns it back.
    void toolInstalledOutsideShowsWithinTwoSeconds()
    {
        QVERIFY(shown("button_install_kyoro"));
        QVERIFY(kytest::installOutside(QStringLiteral("KYTool_setup_2_3_6.exe"), QStringLiteral("D:\\Streaming\\KYTool")));
        QElapsedTimer clock;
        clock.start();
        QTRY_VERIFY_WITH_TIMEOUT(shown("button_open_kyoro"), 5000);
        QVERIFY2(clock.elapsed() <= 2000, qPrintable(QString::number(clock.elapsed())));

        QVERIFY(kytest::uninstallOutside(TOOL_NAME_KYTOOL));
        clock.restart();
        QTRY_VERIFY_WITH_TIMEOUT(shown("button_install_kyoro"), 5000);
        QVERIFY2(clock.elapsed() <= 2000, qPrintable(QString::number(clock.elapsed())));
    }

    // An error page saved under the installer's name (by an older version,
    // or a server that answered 200 with it) is never run: the install
    // button downloads the installer again.
    void errorPageInTheDownloadFolderIsFetchedAgain()
    {
        const QString saved = downloadDir() + QStringLiteral("/KYTool_setup_2_3_6.exe");
        QVERIFY(kytest::writeFile(saved, "<!DOCTYPE html><title>503 Service Unavailable</title>"));
        const QString installerRequest = QStringLiteral("GET ") + kInstallRoot + QStringLiteral("KYTool_setup_2_3_6.exe");
        const int requestsBefore = m_server.requests().count(installerRequest);
        answerNextDialog(true);
        click("button_install_kyoro");
        QTRY_VERIFY_WITH_TIMEOUT(shown("button_open_kyoro"), 30000);
        QCOMPARE(m_server.requests().count(installerRequest), requestsBefore + 1);
        QCOMPARE(kytest::readFile(saved),
                 kytest::readFile(kytest::sandboxDir() + QStringLiteral("/www") + kInstallRoot + QStringLiteral("KYTool_setup_2_3_6.exe")));

        QVERIFY(kytest::uninstallOutside(TOOL_NAME_KYTOOL));
        QTRY_VERIFY_WITH_TIMEOUT(shown("button_install_kyoro"), 5000);
        QVERIFY(QFile::remove(saved));
    }

    void installerAlreadyDownloadedGoesStraightToInstalling()
    {
        QVERIFY(QDir().mkpath(downloadDir()));
        QVERIFY(QFile::copy(kytest::sandboxDir() + QStringLiteral("/www") + kInstallRoot + QStringLiteral("KYTool_setup_2_3_6.exe"),
                            downloadDir() + QStringLiteral("/KYTool_setup_2_3_6.exe")));
        const QString installerRequest = QStringLiteral("GET ") + kInstallRoot + QStringLiteral("KYTool_setup_2_3_6.exe");
        const int requestsBefore = m_server.requests().count(installerRequest);
        answerNextDialog(true);
        click("button_install_kyoro");
        QVERIFY(shown("progressBar_main"));
        QVERIFY(child<QLabel>("label_progressValue")->text().startsWith(QStringLiteral("正在安装：")));
        QCOMPARE(m_server.requests().count(installerRequest), requestsBefore);
        // The installer ends; the card shows the open button.
        QTRY_VERIFY_WITH_TIMEOUT(shown("button_open_kyoro"), 20000);
        QVERIFY(!shown("progressBar_main"));
        QCOMPARE(m_server.waitForEvent(QStringLiteral("click_install_succ")).value(QStringLiteral("e")).toObject().value(QStringLiteral("type")).toInt(), 1);
    }

    void finishedDownloadOfAnInstalledToolInstallsNothing()
    {
        QVERIFY(tools()->isToolInstalled(TOOL_NAME_KYTOOL));
        setStatus(0);
        emit m_window->logicListener()->sglDownloadFinished(TOOL_NAME_KYTOOL, downloadDir() + QStringLiteral("/KYTool_setup_2_3_6.exe"));
        QCOMPARE(tools()->installProgress(TOOL_NAME_KYTOOL), -1);
        QVERIFY(shown("button_open_kyoro"));
        QVERIFY(!shown("progressBar_main"));
    }

    void staleStatusOnInstallOnlyRefreshes()
    {
        // The window still believes the tool is missing.
        setStatus(0);
        QVERIFY(shown("button_install_kyoro"));
        click("button_install_kyoro");
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(shown("button_open_kyoro"));
    }

    void openLaunchesTheToolAndShowsItRunning()
    {
        click("button_open_kyoro");
        QTRY_VERIFY_WITH_TIMEOUT(kytest::isRunning(QStringLiteral("KYTool.exe")), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(shown("button_running_kyoro"), 10000);
        QVERIFY(!child<QPushButton>("button_running_kyoro")->isEnabled());
        QCOMPARE(m_server.waitForEvent(QStringLiteral("click_livetool_open")).value(QStringLiteral("e")).toObject().value(QStringLiteral("type")).toInt(), 1);
        kytest::endOwnProcesses({QStringLiteral("KYTool.exe")});
        QTRY_VERIFY_WITH_TIMEOUT(shown("button_open_kyoro"), 10000);
    }

    void fullObsStudioInstallThroughTheWindow()
    {
        click("button_OBSLive");
        child<QRadioButton>("radio_studio")->click();
        QTRY_COMPARE(kytest::shownTool(m_window.get()), TOOL_NAME_OBS_STUDIO);
        QTest::qWait(20);
        answerNextDialog(true);
        click("button_install_OBS");
        QTRY_VERIFY_WITH_TIMEOUT(shown("button_open_OBS"), 30000);
        QVERIFY(shown("button_liveset"));
        QVERIFY(QFile::exists(appDir() + QStringLiteral("/tools/obs-studio/bin/32bit/obs32.exe")));
        click("button_open_OBS");
        QTRY_VERIFY_WITH_TIMEOUT(shown("button_running_OBS"), 10000);
        kytest::endOwnProcesses({QStringLiteral("obs32.exe")});
    }

    void liveSettingWritesTheConfigurationAndStartsObs()
    {
        click("button_OBSLive");
        child<QRadioButton>("radio_studio")->click();
        QTRY_COMPARE(kytest::shownTool(m_window.get()), TOOL_NAME_OBS_STUDIO);
        QTRY_VERIFY(shown("button_liveset"));
        QString dialogName;
        kytest::answerNextModal<QDialog>([&dialogName](QDialog *dialog) {
            dialogName = dialog->objectName();
            ::child<QLineEdit>(dialog, "ledit_RTMP")->setText(QStringLiteral("rtmp://127.0.0.1/live"));
            ::child<QLineEdit>(dialog, "ledit_liveCode")->setText(QStringLiteral("code-42"));
            ::child<QPushButton>(dialog, "button_confirm")->click();
        }, kDialogTimeout);
        click("button_liveset");
        QCOMPARE(dialogName, QStringLiteral("kyLiveAddressSet"));
        QString server;
        QString key;
        readObsStudioPushCode(server, key);
        QCOMPARE(server, QStringLiteral("rtmp://127.0.0.1/live"));
        QCOMPARE(key, QStringLiteral("code-42"));
        // Set while OBS was closed: the window starts it.
        QTRY_VERIFY_WITH_TIMEOUT(kytest::isRunning(QStringLiteral("obs32.exe")), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(shown("button_running_OBS"), 10000);
        kytest::endOwnProcesses({QStringLiteral("obs32.exe")});
    }

    void helpButtonsOpenTheirPages()
    {
        m_urls.urls.clear();
        click("button_Service_little");
        click("button_useTutorial");
        child<QRadioButton>("radio_kyShow")->click();
        QTRY_COMPARE(kytest::shownTool(m_window.get()), TOOL_NAME_KYSHOW);
        click("button_useTutorial");
        QCOMPARE(m_urls.urls, (QList<QUrl>{QUrl(customerServiceUrl()), QUrl(webSiteUrl(QStringLiteral("/cms/zhibo/list_16.shtml"))),
                                           QUrl(webSiteUrl(QStringLiteral("/cms/zhibo/201708/07/5983.shtml")))}));
        QVERIFY(m_server.waitForEvent(QStringLiteral("click_cust")).value(QStringLiteral("e")).toObject().isEmpty());

        m_urls.urls.clear();
        QTest::mousePress(child<QLabel>("label_visitOBSurl"), Qt::LeftButton);
        QCOMPARE(m_urls.urls, (QList<QUrl>{QUrl(obsProjectSiteUrl())}));
    }

    void pagesSwitchFromTheTitleBar()
    {
        click("button_toolbox");
        QCOMPARE(child<QStackedWidget>("stackedWidget")->currentWidget(), child<QWidget>("page_toolbox"));
        click("button_live");
        QCOMPARE(child<QStackedWidget>("stackedWidget")->currentWidget(), child<QWidget>("page_live"));
    }

    // The tray icon waits for the window's first paint, and must then come:
    // a window closed to a tray that never showed could not come back.
    void trayIconAppearsAfterTheFirstPaint()
    {
        kyoroManager window;
        auto *tray = window.findChild<QSystemTrayIcon *>();
        QVERIFY(tray);
        QTest::qWait(20);
        QVERIFY(!tray->isVisible());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTRY_VERIFY(tray->isVisible());
    }

    void trayClickShowsTheWindowDoubleClickDoesNot()
    {
        auto *tray = m_window->findChild<QSystemTrayIcon *>();
        QVERIFY(tray);
        QCOMPARE(tray->toolTip(), TRAY_TOOL_TIP);
        m_window->hide();
        emit tray->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(!m_window->isVisible());
        emit tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(m_window->isVisible());
        m_window->showMinimized();
        emit tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(!m_window->isMinimized());
    }

    // Last: quitting ends this window's life.
    void quitFromTheTrayMenu()
    {
        auto *menu = m_window->findChild<QMenu *>();
        QVERIFY(menu);
        // "检查更新" above "退出", nothing else.
        QCOMPARE(menu->actions().size(), 2);
        QCOMPARE(menu->actions().first()->text(), TRAY_CHECK_UPDATE);
        QAction *quit = menu->actions().last();
        QCOMPARE(quit->text(), TRAY_QUIT);
        m_window->show();
        quit->trigger();
        QVERIFY(m_window->isVisible()); // the window closes 100 ms later
        QTRY_VERIFY(!m_window->isVisible());
        const QJsonObject event = m_server.waitForEvent(QStringLiteral("endup_quit"));
        QCOMPARE(event.value(QStringLiteral("e")).toObject().value(QStringLiteral("type")).toInt(), 1);
        QVERIFY(event.value(QStringLiteral("e")).toObject().contains(QStringLiteral("pc_os")));
    }

    void closeWithoutATrayQuits()
    {
        // No tray here (offscreen): a hidden window could never come back, so
        // closing ends the program like "退出".
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        const int quits = m_server.eventNames().count(QStringLiteral("endup_quit"));
        kyoroManager window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.close();
        QTRY_VERIFY(!window.isVisible());
        QTRY_COMPARE(m_server.eventNames().count(QStringLiteral("endup_quit")), quits + 1);
    }
};

KY_TEST_MAIN(TestMainWindow)
#include "testmainwindow.moc"
