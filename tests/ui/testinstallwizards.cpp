#include "kytestmain.h"
#include "kytesttools.h"
#include "logictestsupport.h"
#include "mainwindowstate.h"
#include "sandboxserver.h"
#include "uitesthelpers.h"

#include "common/kyhosts.h"
#include "common/kypaths.h"
#include "common/kytexts.h"
#include "common/kyprocesses.h"
#include "download/kyfiledownloadermgr.h"
#include "logic/installpathsettings.h"
#include "logic/kylivetoolsmanager.h"
#include "logic/kylogicfw.h"
#include "logic/kytoolfacts.h"
#include "logic/uilogiclistener.h"
#include "ui/kykyoroinstallwidget.h"
#include "ui/kymsgtipwidget.h"
#include "ui/kyobsinstallwidget.h"
#include "ui/kyoromanager.h"

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTimer>

#include <memory>

namespace {
const QString kInstallRoot = QStringLiteral("/client_download/VURuv/files/InstallFile/");

struct EditionFacts
{
    const QString &tool;
    bool obsWizard;
    int edition;
    const char *installer;
    const char *uninstaller; // process name of the sandbox uninstaller's second stage
    const char *programFile; // a file the installer lays into the folder
    const char *subFolder;
};

const EditionFacts &facts(int code)
{
    static const EditionFacts all[] = {
        {TOOL_NAME_KYTOOL, false, 0, "KYTool_setup_2_3_6.exe", "Au_.exe", "KYTool.exe", "KYTool"},
        {TOOL_NAME_KYSHOW, false, 1, "KYShow_setup_2_3_4.exe", "Au_.exe", "kyShow.exe", "KYShowTool"},
        {TOOL_NAME_OBS_CLASSIC, true, 0, "OBS_0_659b_With_Browser_Installer.exe", "Au_.exe", "OBS.exe", "OBS"},
        {TOOL_NAME_OBS_STUDIO, true, 1, "OBS-Studio-21.0.1-Full-Installer.exe", "Un_A.exe", "bin/32bit/obs32.exe", "obs-studio"},
    };
    return all[code - 1];
}


struct Message
{
    QString text;
    bool cancelShown = false;
    bool seen = false;
};

// Answers the next kyMsgTipWidget with "确认", noting what it said; `during`
// runs while it is up.
std::shared_ptr<Message> answerMessage(std::function<void()> during = {})
{
    auto message = std::make_shared<Message>();
    kytest::answerNextModal<kyMsgTipWidget>([message, during](kyMsgTipWidget *tip) {
        message->text = child<QLabel>(tip, "label_tip")->text();
        message->cancelShown = child<QPushButton>(tip, "button_cancel")->isVisible();
        message->seen = true;
        if (during)
            during();
        child<QPushButton>(tip, "button_confirm")->click();
    }, 30000);
    return message;
}
} // namespace

class TestInstallWizards : public QObject
{
    Q_OBJECT

    SandboxServer m_server;
    std::unique_ptr<kyoroManager> m_window;
    kytest::UrlCatcher m_urls;

    KyLiveToolsManager *tools() { return KyLogicFW::instance()->liveToolsManager(); }
    KyFileDownloaderMgr *downloads() { return KyFileDownloaderMgr::instance(); }
    InstallPathSettings *paths() { return m_window->installPathSettings(); }

    std::unique_ptr<kyInstallWizard> openWizard(bool obs)
    {
        std::unique_ptr<kyInstallWizard> wizard;
        if (obs)
            wizard = std::make_unique<kyOBSInstallWidget>(m_window.get());
        else
            wizard = std::make_unique<kyKyoroInstallWidget>(m_window.get());
        wizard->show();
        if (!QTest::qWaitForWindowExposed(wizard.get()))
            qWarning("wizard not exposed");
        return wizard;
    }
    static QString page(QWidget *wizard)
    {
        return child<QStackedWidget>(wizard, "stackedWidget")->currentWidget()->objectName();
    }
    static void click(QWidget *wizard, const char *name)
    {
        QTest::mouseClick(child<QPushButton>(wizard, name), Qt::LeftButton);
    }
    static const char *installButton(int edition) { return edition ? "button_confirmInstall_2" : "button_confirmInstall"; }
    static const char *reloadLabel(int edition) { return edition ? "label_clickReload_2" : "label_clickReload"; }

    // Events of that name and "type" stamped at or after `since` (ms since
    // the epoch); earlier tests' events may still be on their way.
    int events(const char *name, int type, qint64 since)
    {
        int count = 0;
        for (const QJsonObject &event : m_server.envelopes()) {
            if (event.value(QStringLiteral("ac")).toString() == QLatin1String(name)
                && event.value(QStringLiteral("e")).toObject().value(QStringLiteral("type")).toInt() == type
                && qint64(event.value(QStringLiteral("oct")).toDouble()) >= since)
                ++count;
        }
        return count;
    }
    QString installerRequest(const char *installer)
    {
        return QStringLiteral("GET ") + kInstallRoot + QLatin1String(installer);
    }
    bool copyInstallerToDownloads(const char *installer)
    {
        QDir().mkpath(downloadDir());
        const QString target = downloadDir() + QLatin1Char('/') + QLatin1String(installer);
        QFile::remove(target);
        return QFile::copy(kytest::sandboxInstaller(QLatin1String(installer)), target);
    }
    // Every install and uninstall the tools manager follows has ended.
    bool idle()
    {
        if (!tools())
            return true;
        for (const QString &tool : {TOOL_NAME_KYTOOL, TOOL_NAME_KYSHOW, TOOL_NAME_OBS_CLASSIC, TOOL_NAME_OBS_STUDIO}) {
            if (tools()->installProgress(tool) >= 0 || tools()->isUninstalling(tool) || downloads()->downloadProgress(tool) >= 0)
                return false;
        }
        return true;
    }
    void removeTools()
    {
        for (const QString &tool : {TOOL_NAME_KYTOOL, TOOL_NAME_KYSHOW, TOOL_NAME_OBS_CLASSIC, TOOL_NAME_OBS_STUDIO})
            downloads()->cancelDownload(tool);
        QTRY_VERIFY_WITH_TIMEOUT(idle(), 30000);
        kytest::removeInstalledTools();
    }

    static QString installLog() { return kytest::tempDir() + QStringLiteral("/installs.log"); }

    // How many times the stand-in installer, or the uninstaller's copy, of
    // that name has started in this test function.
    static int installerRuns(const char *installer)
    {
        QFile log(installLog());
        if (!log.open(QIODevice::ReadOnly))
            return 0;
        return log.readAll().split('\n').count(QByteArray(installer));
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
        removeTools();
        m_window.reset();
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    }

    void init()
    {
        // Every run of a stand-in installer, one line each.
        QFile::remove(installLog());
        qputenv("KYORO_SANDBOX_INSTALL_LOG", QFile::encodeName(installLog()));
        m_server.clearRules();
        m_urls.urls.clear();
        removeTools();
        // Back to the default folders (nothing is saved during the run), and
        // creates them again.
        paths()->load();
    }

    void toolboxOpensTheWizardOnItsFirstPage_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("dialog");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("firstTool");
        QTest::newRow("platform tool") << "button_installKyoroLive" << "kyKyoroInstallWidget" << "安装Kyoro直播伴侣" << TOOL_NAME_KYTOOL;
        QTest::newRow("obs") << "button_installOBS" << "kyOBSInstallWidget" << "安装OBS" << TOOL_NAME_OBS_CLASSIC;
    }

    void toolboxOpensTheWizardOnItsFirstPage()
    {
        QFETCH(QString, button);
        QFETCH(QString, dialog);
        QFETCH(QString, title);
        QFETCH(QString, firstTool);

        bool modal = false;
        QWidget *parent = nullptr;
        QString className, shownPage, shownTitle, tool;
        QVariant canMove, titleHeight;
        bool frameless = false, installShown[2] = {}, installedShown[2] = {true, true}, reloadShown = false;
        kytest::answerNextModal<kyInstallWizard>([&](kyInstallWizard *wizard) {
            modal = wizard->isModal();
            parent = wizard->parentWidget();
            className = QString::fromLatin1(wizard->metaObject()->className());
            shownPage = page(wizard);
            shownTitle = child<QLabel>(wizard, "label_install")->text();
            tool = wizard->currentTool();
            canMove = wizard->property("CanMove");
            titleHeight = wizard->property("TitleHeight");
            frameless = wizard->windowFlags().testFlag(Qt::FramelessWindowHint);
            for (int i = 0; i < 2; ++i) {
                installShown[i] = child<QPushButton>(wizard, installButton(i))->isVisible();
                installedShown[i] = child<QLabel>(wizard, i ? "label_testInstalled_2" : "label_testInstalled")->isVisible();
            }
            reloadShown = child<QLabel>(wizard, "label_clickReload")->isVisible();
            click(wizard, "button_close");
        });
        // The toolbox page joins the window when first shown.
        child<QPushButton>(m_window.get(), "button_toolbox")->click();
        child<QPushButton>(m_window.get(), button.toLatin1().constData())->click();

        QCOMPARE(className, dialog);
        QVERIFY(modal);
        QCOMPARE(parent, m_window.get());
        QCOMPARE(shownPage, QStringLiteral("page"));
        QCOMPARE(shownTitle, title);
        QCOMPARE(tool, firstTool);
        QCOMPARE(canMove, QVariant(true));
        QCOMPARE(titleHeight, QVariant(142));
        QVERIFY(frameless);
        // Nothing is installed: both rows offer "确认安装", none says "检测已安装".
        QVERIFY(installShown[0] && installShown[1]);
        QVERIFY(!installedShown[0] && !installedShown[1]);
        QVERIFY(reloadShown);
    }

    void obsLinksOpenTheSite()
    {
        auto wizard = openWizard(true);
        QTest::mousePress(child<QLabel>(wizard.get(), "label_OBSurl"), Qt::LeftButton);
        QCOMPARE(m_urls.urls, QList<QUrl>{QUrl(obsProjectSiteUrl())});
        QCOMPARE(page(wizard.get()), QStringLiteral("page"));
        // The folder page's header has the link too.
        click(wizard.get(), "button_confirmInstall");
        QTest::mousePress(child<QLabel>(wizard.get(), "label_OBSurl_2"), Qt::LeftButton);
        QCOMPARE(m_urls.urls.size(), 2);
    }

    void folderRules_data()
    {
        QTest::addColumn<int>("edition");
        QTest::addColumn<QString>("entered"); // null: the proposed folder is kept
        QTest::addColumn<QString>("stored");  // null: the proposed folder
        QTest::addColumn<QString>("createdAt");
        QTest::newRow("proposed folder kept") << 0 << QString() << QString() << QString();
        QTest::newRow("another folder gets the sub-folder")
            << 0 << "D:/Apps" << "D:/Apps/KYTool" << kytest::drivesDir() + "/d/Apps/KYTool";
        QTest::newRow("backslashes and a trailing separator")
            << 1 << "D:\\Apps\\" << "D:/Apps/KYShowTool" << kytest::drivesDir() + "/d/Apps/KYShowTool";
        QTest::newRow("creatable bare drive") << 0 << "Y:" << "Y:/KYTool" << kytest::drivesDir() + "/y/KYTool";
        QTest::newRow("rooted folder") << 1 << kytest::testRoot() + "/apps/" << kytest::testRoot() + "/apps/KYShowTool"
                                       << kytest::testRoot() + "/apps/KYShowTool";
    }

    void folderRules()
    {
        QFETCH(int, edition);
        QFETCH(QString, entered);
        QFETCH(QString, stored);
        QFETCH(QString, createdAt);
        const EditionFacts &tool = facts(edition + 1);
        const QString proposed = paths()->installPath(tool.tool);
        if (stored.isNull())
            stored = proposed;
        // A slow transfer keeps the wizard on the download page.
        QVERIFY(m_server.addRule(QJsonObject{{"path", QString(kInstallRoot + QLatin1String(tool.installer))}, {"slow", 20000}}));

        auto wizard = openWizard(false);
        click(wizard.get(), installButton(edition));
        QCOMPARE(page(wizard.get()), QStringLiteral("page_2"));
        auto *folder = child<QLineEdit>(wizard.get(), "ledit_installPath");
        QCOMPARE(folder->text(), proposed);
        if (!entered.isNull())
            folder->setText(entered);
        click(wizard.get(), "button_nextStep");

        QCOMPARE(page(wizard.get()), QStringLiteral("page_3"));
        QCOMPARE(paths()->installPath(tool.tool), stored);
        if (!createdAt.isEmpty())
            QVERIFY(QFileInfo(createdAt).isDir());
        QVERIFY(downloads()->downloadProgress(tool.tool) >= 0);

        // The download page's close cancels the download with the dialog.
        click(wizard.get(), "button_close_3");
        QVERIFY(!wizard->isVisible());
        QCOMPARE(downloads()->downloadProgress(tool.tool), -1);
        QTRY_VERIFY(QDir(downloadDir()).entryList(QDir::Files).isEmpty());
    }

    void refusedFolderStaysOnTheFolderPage_data()
    {
        QTest::addColumn<bool>("obs");
        QTest::addColumn<QString>("entered");
        QTest::newRow("relative, platform tool") << false << "apps\\kyoro";
        QTest::newRow("relative, obs") << true << "apps/obs";
        QTest::newRow("empty") << false << "";
    }

    void refusedFolderStaysOnTheFolderPage()
    {
        QFETCH(bool, obs);
        QFETCH(QString, entered);
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(kytest::tempDir());
        const EditionFacts &tool = facts(obs ? 4 : 1);
        const QString proposed = paths()->installPath(tool.tool);

        auto wizard = openWizard(obs);
        click(wizard.get(), "button_confirmInstall_2");
        click(wizard.get(), "button_return");
        QCOMPARE(page(wizard.get()), QStringLiteral("page"));
        click(wizard.get(), installButton(tool.edition));
        child<QLineEdit>(wizard.get(), "ledit_installPath")->setText(entered);
        auto message = answerMessage();
        click(wizard.get(), "button_nextStep");

        QVERIFY(message->seen);
        QCOMPARE(message->text, QStringLiteral("\"%1\"安装目录不存在，请重新设置").arg(entered));
        QVERIFY(!message->cancelShown);
        QCOMPARE(page(wizard.get()), QStringLiteral("page_2"));
        QCOMPARE(paths()->installPath(tool.tool), proposed);
        QCOMPARE(downloads()->downloadProgress(tool.tool), -1);
        QVERIFY(QDir(kytest::tempDir()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).filter(QStringLiteral("apps")).isEmpty());
        QDir::setCurrent(cwd);
    }

    // The whole road for each tool: a fresh install into the proposed folder,
    // then a reinstall over it into another folder. Both times the main
    // window also sees the finished download (it starts the installer for a
    // missing tool and leaves an installed one alone); the installer must
    // still run exactly once.
    void installAndReinstall_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("otherFolder"); // null: keep the proposed one
        QTest::addColumn<QString>("reinstalledIn");
        QTest::newRow("classic edition") << 1 << "D:\\Live\\" << kytest::drivesDir() + "/d/Live/KYTool";
        QTest::newRow("show edition") << 2 << "E:/Live" << kytest::drivesDir() + "/e/Live/KYShowTool";
        // OBS Classic is only ever looked for in its fixed folder.
        QTest::newRow("obs classic") << 3 << QString() << kytest::drivesDir() + "/c/Program Files (x86)/OBS";
        QTest::newRow("obs studio") << 4 << "F:/" << kytest::drivesDir() + "/f/obs-studio";
    }

    void installAndReinstall()
    {
        QFETCH(int, code);
        QFETCH(QString, otherFolder);
        QFETCH(QString, reinstalledIn);
        const EditionFacts &tool = facts(code);
        const QString proposed = nativePath(paths()->installPath(tool.tool));
        const QString program = QLatin1String(tool.programFile);
        // The main window reports a finished install of its own card's tool
        // too; keep its card on another tool so only the wizard's reports count.
        child<QRadioButton>(m_window.get(), code == 1 ? "radio_kyShow" : "radio_kyTool")->click();
        QTRY_COMPARE(kytest::shownTool(m_window.get()), code == 1 ? TOOL_NAME_KYSHOW : TOOL_NAME_KYTOOL);

        // Fresh install.
        {
            const qint64 start = QDateTime::currentMSecsSinceEpoch();
            auto wizard = openWizard(tool.obsWizard);
            QCOMPARE(page(wizard.get()), QStringLiteral("page"));
            click(wizard.get(), installButton(tool.edition));
            QCOMPARE(wizard->currentTool(), tool.tool);
            click(wizard.get(), "button_nextStep");
            QCOMPARE(page(wizard.get()), QStringLiteral("page_3"));
            QTRY_COMPARE_WITH_TIMEOUT(page(wizard.get()), QStringLiteral("page_5"), 30000);
            QTest::qWait(300); // a second installer would show up in this time
            QCOMPARE(installerRuns(tool.installer), 1);
            QVERIFY(tools()->isToolInstalled(tool.tool));
            QVERIFY2(QFile::exists(proposed + QLatin1Char('/') + program), qPrintable(proposed));
            QTRY_COMPARE(events("click_install", code, start), 1);

            const qint64 confirmed = QDateTime::currentMSecsSinceEpoch();
            click(wizard.get(), "button_confirm");
            QVERIFY(!wizard->isVisible());
            QTRY_COMPARE(events("click_install_succ", code, confirmed), 1);
        }

        // Reinstall over it: the installer is fetched again, the installed
        // copy goes through the sandbox uninstaller, then the installer runs.
        QVERIFY(QFile::remove(downloadDir() + QLatin1Char('/') + QLatin1String(tool.installer)));
        const int requests = m_server.requests().count(installerRequest(tool.installer));
        const qint64 start = QDateTime::currentMSecsSinceEpoch();
        auto wizard = openWizard(tool.obsWizard);
        QVERIFY(!child<QPushButton>(wizard.get(), installButton(tool.edition))->isVisible());
        QVERIFY(child<QLabel>(wizard.get(), tool.edition ? "label_testInstalled_2" : "label_testInstalled")->isVisible());
        QTest::mousePress(child<QLabel>(wizard.get(), reloadLabel(tool.edition)), Qt::LeftButton);
        QCOMPARE(page(wizard.get()), QStringLiteral("page_2"));
        if (!otherFolder.isNull())
            child<QLineEdit>(wizard.get(), "ledit_installPath")->setText(otherFolder);
        click(wizard.get(), "button_nextStep");

        QTRY_COMPARE_WITH_TIMEOUT(installerRuns(tool.uninstaller), 1, 30000);
        QCOMPARE(page(wizard.get()), QStringLiteral("page_4"));
        QTRY_COMPARE_WITH_TIMEOUT(page(wizard.get()), QStringLiteral("page_5"), 30000);
        QTest::qWait(300);
        QCOMPARE(installerRuns(tool.installer), 2);
        QCOMPARE(installerRuns(tool.uninstaller), 1);
        QCOMPARE(m_server.requests().count(installerRequest(tool.installer)), requests + 1);
        QVERIFY(tools()->isToolInstalled(tool.tool));
        QVERIFY2(QFile::exists(reinstalledIn + QLatin1Char('/') + program), qPrintable(reinstalledIn));
        if (!otherFolder.isNull())
            QVERIFY(!QFile::exists(proposed + QLatin1Char('/') + program));
        // The reinstall label sends no "click_install"; the done page's button
        // sends "click_install_succ" (awaited, so the other would be here too).
        click(wizard.get(), "button_confirm");
        QTRY_COMPARE(events("click_install_succ", code, start), 1);
        QCOMPARE(events("click_install", code, start), 0);
    }

    void installerAlreadyDownloadedSkipsTheDownload_data()
    {
        QTest::addColumn<int>("code");
        QTest::newRow("show edition") << 2;
        QTest::newRow("obs studio") << 4;
    }

    void installerAlreadyDownloadedSkipsTheDownload()
    {
        QFETCH(int, code);
        const EditionFacts &tool = facts(code);
        QVERIFY(copyInstallerToDownloads(tool.installer));
        const int requests = m_server.requests().count(installerRequest(tool.installer));

        auto wizard = openWizard(tool.obsWizard);
        click(wizard.get(), installButton(tool.edition));
        click(wizard.get(), "button_nextStep");
        QCOMPARE(page(wizard.get()), QStringLiteral("page_4"));
        QCOMPARE(child<QProgressBar>(wizard.get(), "progressBar_installing")->value(), 0);
        QVERIFY(tools()->installProgress(tool.tool) >= 0);
        QTRY_COMPARE_WITH_TIMEOUT(page(wizard.get()), QStringLiteral("page_5"), 30000);
        QCOMPARE(installerRuns(tool.installer), 1);
        QCOMPARE(m_server.requests().count(installerRequest(tool.installer)), requests);
        QVERIFY(tools()->isToolInstalled(tool.tool));
    }

    void reopeningDuringADownloadShowsItsProgress()
    {
        const EditionFacts &tool = facts(2);
        QVERIFY(m_server.addRule(QJsonObject{{"path", QString(kInstallRoot + QLatin1String(tool.installer))}, {"slow", 20000}}));
        {
            auto first = openWizard(false);
            click(first.get(), installButton(tool.edition));
            click(first.get(), "button_nextStep");
            QCOMPARE(page(first.get()), QStringLiteral("page_3"));
            // Leaving any other way than the download page's close (or Esc,
            // its key) keeps the download going: here the window's own close.
            first->close();
            QVERIFY(!first->isVisible());
        }
        QTRY_VERIFY_WITH_TIMEOUT(downloads()->downloadProgress(tool.tool) >= 2, 20000);

        QString shownPage, tool2;
        int shownProgress = -1, actual = -1;
        kytest::answerNextModal<kyKyoroInstallWidget>([&](kyKyoroInstallWidget *wizard) {
            actual = downloads()->downloadProgress(tool.tool);
            shownPage = page(wizard);
            tool2 = wizard->currentTool();
            shownProgress = child<QProgressBar>(wizard, "progressBar_download")->value();
            click(wizard, "button_close_3");
        });
        child<QPushButton>(m_window.get(), "button_toolbox")->click();
        child<QPushButton>(m_window.get(), "button_installKyoroLive")->click();
        QCOMPARE(shownPage, QStringLiteral("page_3"));
        QCOMPARE(tool2, TOOL_NAME_KYSHOW);
        QVERIFY(shownProgress >= 2);
        QVERIFY2(qAbs(shownProgress - actual) <= 5, qPrintable(QStringLiteral("%1 vs %2").arg(shownProgress).arg(actual)));
        QCOMPARE(downloads()->downloadProgress(tool.tool), -1);
    }

    void reopeningDuringAnUninstallShowsTheInstallPage()
    {
        const EditionFacts &tool = facts(4);
        const QString folder = paths()->installPath(tool.tool);
        // Any finished install turns a wizard to its done page, so this one
        // must have passed the listener before the wizard opens.
        QSignalSpy installed(m_window->logicListener(), &UILogicListener::sglLiveToolInstallFinished);
        QVERIFY(tools()->installTool(tool.tool, kytest::sandboxInstaller(QLatin1String(tool.installer)), folder, 15000));
        QTRY_COMPARE_WITH_TIMEOUT(installed.count(), 1, 20000);
        QVERIFY(tools()->isToolInstalled(tool.tool));
        // The wizard installs again once the uninstaller is done.
        QVERIFY(copyInstallerToDownloads(tool.installer));

        const QByteArray installMs = qgetenv("KYORO_SANDBOX_INSTALL_MS");
        qputenv("KYORO_SANDBOX_INSTALL_MS", "2500");
        QVERIFY(tools()->uninstallTool(tool.tool));
        qputenv("KYORO_SANDBOX_INSTALL_MS", installMs);
        QVERIFY(tools()->isUninstalling(tool.tool));

        auto wizard = openWizard(true);
        QCOMPARE(page(wizard.get()), QStringLiteral("page_4"));
        QCOMPARE(wizard->currentTool(), tool.tool);
        QCOMPARE(child<QProgressBar>(wizard.get(), "progressBar_installing")->value(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(page(wizard.get()), QStringLiteral("page_5"), 30000);
        QVERIFY(tools()->isToolInstalled(tool.tool));
    }

    // The message of a failed download waits until the downloader has
    // finished its emission: cancelling that download while the message is
    // up would otherwise wait for the downloader's own lock forever.
    void failedDownloadShowsTheMessageAndCloses_data()
    {
        QTest::addColumn<int>("code");
        QTest::newRow("platform tool, queued signals") << 1;
        QTest::newRow("obs, direct signals") << 4;
    }

    void failedDownloadShowsTheMessageAndCloses()
    {
        QFETCH(int, code);
        const EditionFacts &tool = facts(code);
        QVERIFY(m_server.addRule(QJsonObject{{"path", QString(kInstallRoot + QLatin1String(tool.installer))}, {"status", 500}}));

        auto wizard = openWizard(tool.obsWizard);
        click(wizard.get(), installButton(tool.edition));
        auto message = answerMessage([this, &tool]() { downloads()->cancelDownload(tool.tool); });
        click(wizard.get(), "button_nextStep");
        QTRY_VERIFY_WITH_TIMEOUT(message->seen, 20000);
        QCOMPARE(message->text, QStringLiteral("安装包下载失败，可能是网络不通，请检查网络后重试"));
        QVERIFY(message->cancelShown);
        QTRY_VERIFY(!wizard->isVisible());
        QCOMPARE(wizard->result(), int(QDialog::Rejected));
        QCOMPARE(installerRuns(tool.installer), 0);
        QVERIFY(!tools()->isToolInstalled(tool.tool));
    }

    // A download folder nothing can be written into. Before: the streamer was
    // told to check the network.
    void unwritableDownloadFolderIsNamed()
    {
        const EditionFacts &tool = facts(2);
        const QString folder = downloadDir();
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(kytest::writeFile(folder, "a file where the folder belongs"));
        auto restore = qScopeGuard([folder] {
            QFile::remove(folder);
            QDir().mkpath(folder);
        });

        const int requests = m_server.requests().count(installerRequest(tool.installer));

        auto wizard = openWizard(tool.obsWizard);
        click(wizard.get(), installButton(tool.edition));
        auto message = answerMessage();
        click(wizard.get(), "button_nextStep");
        QTRY_VERIFY_WITH_TIMEOUT(message->seen, 20000);
        QCOMPARE(message->text, MSG_DOWNLOAD_DIR_NOT_WRITABLE.arg(QDir::toNativeSeparators(folder)));
        QCOMPARE(m_server.requests().count(installerRequest(tool.installer)), requests);
    }

    void anyFinishedInstallShowsTheDonePage_data()
    {
        QTest::addColumn<bool>("obs");
        QTest::newRow("platform tool") << false;
        QTest::newRow("obs") << true;
    }

    void anyFinishedInstallShowsTheDonePage()
    {
        QFETCH(bool, obs);
        auto wizard = openWizard(obs);
        // A tool the wizard does not install at all.
        emit m_window->logicListener()->sglLiveToolInstallFinished(obs ? TOOL_NAME_KYSHOW : TOOL_NAME_OBS_STUDIO);
        QTRY_COMPARE(page(wizard.get()), QStringLiteral("page_5"));
    }

    void runningToolIsRefused()
    {
        kytest::ToolProcess running(QStringLiteral("KYTool.exe"));
        QVERIFY(running.started());
        QTRY_VERIFY(kytest::isRunning(QStringLiteral("KYTool.exe")));
        const QString expected = QStringLiteral("检测到\"Kyoro直播伴侣\"正在运行，请关闭后重试");

        auto wizard = openWizard(false);
        auto message = answerMessage();
        click(wizard.get(), "button_confirmInstall");
        QVERIFY(message->seen);
        QCOMPARE(message->text, expected);
        QVERIFY(!message->cancelShown);
        QCOMPARE(page(wizard.get()), QStringLiteral("page"));

        // The reinstall label makes the same check.
        message = answerMessage();
        QTest::mousePress(child<QLabel>(wizard.get(), "label_clickReload"), Qt::LeftButton);
        QVERIFY(message->seen);
        QCOMPARE(message->text, expected);
        QCOMPARE(page(wizard.get()), QStringLiteral("page"));
    }

    void runningToolStopsTheNextStep()
    {
        auto wizard = openWizard(true);
        click(wizard.get(), "button_confirmInstall_2");
        QCOMPARE(page(wizard.get()), QStringLiteral("page_2"));
        kytest::ToolProcess running(QStringLiteral("obs64.exe"));
        QVERIFY(running.started());
        QTRY_VERIFY(kytest::isRunning(QStringLiteral("obs64.exe")));

        auto message = answerMessage();
        click(wizard.get(), "button_nextStep");
        QVERIFY(message->seen);
        QCOMPARE(message->text, QStringLiteral("检测到\"OBS Studio\"正在运行，请关闭后重试"));
        QCOMPARE(page(wizard.get()), QStringLiteral("page_2"));
        QCOMPARE(downloads()->downloadProgress(TOOL_NAME_OBS_STUDIO), -1);
    }
};

KY_TEST_MAIN(TestInstallWizards)
#include "testinstallwizards.moc"
