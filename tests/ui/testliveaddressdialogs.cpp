// The live address dialogs driven like a streamer would, with the main window
// and the hub in place: the real login component is downloaded from the
// sandbox server, unpacked, started, and reports over the real socket.

#include "kytestmain.h"
#include "kytesttools.h"
#include "livecodetestsupport.h"
#include "ownprocesses.h"
#include "uitesthelpers.h"

#include "common/kyconstants.h"
#include "common/kyhosts.h"
#include "livecode/livecodemodulemanager.h"
#include "livecode/livemgrservice.h"
#include "logic/kylivetoolconfig.h"
#include "logic/kylogicfw.h"
#include "logic/kytoolfacts.h"
#include "logic/uilogiclistener.h"
#include "ui/kygetcodetutorialwidget.h"
#include "ui/kygetrtmpfalsewidget.h"
#include "ui/kyliveaddressset.h"
#include "ui/kyloadsliderwidget.h"
#include "ui/kymsgtipwidget.h"
#include "ui/kyoromanager.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>

namespace {

constexpr int kTimeout = 30000;
const QString kArchivePath = kytest::kModuleDownloadPath + QStringLiteral("LiveCodeModule.zip");
const QString kSandboxRtmp = QStringLiteral("rtmp://127.0.0.1/live");

void click(QWidget *parent, const char *name)
{
    QTest::mouseClick(child<QPushButton>(parent, name), Qt::LeftButton);
}

template<typename T>
void answerModal(std::function<void(T *)> answer)
{
    kytest::answerNextModal<T>(std::move(answer), kTimeout);
}

bool isEditing(kyLiveAddressSet &dialog)
{
    return dialog.isEnabled() && dialog.windowOpacity() == 1.0 && dialog.property("CanMove").toBool();
}

bool isWaiting(kyLiveAddressSet &dialog)
{
    return !dialog.isEnabled() && dialog.windowOpacity() == 0.0 && !dialog.property("CanMove").toBool();
}

QPair<QString, QString> obsStudioPushCode()
{
    QString server;
    QString key;
    readObsStudioPushCode(server, key);
    return {server, key};
}

QPair<QString, QString> obsClassicPushCode()
{
    QString url;
    QString playPath;
    readObsClassicPushCode(url, playPath);
    return {url, playPath};
}

bool anyToolConfigWritten()
{
    return QFileInfo::exists(roamingAppDataRoot() + QStringLiteral("obs-studio"))
        || QFileInfo::exists(roamingAppDataRoot() + QStringLiteral("OBS"));
}

} // namespace

class TestLiveAddressDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void getWithCurrentComponentWritesObsClassic();
    void reportStillOnItsWayWhenTheComponentEndsCounts();
    void missingComponentLoadsThenLaunches();
    void closingTheLoadingDialogCancelsTheDownload();
    void downloadThatCannotStartShowsTheMessage();
    void roomFailureShowsTheFailureDialog_data();
    void roomFailureShowsTheFailureDialog();
    void componentGoneWithoutReportRestoresEditing_data();
    void componentGoneWithoutReportRestoresEditing();
    void confirmWritesTheToolsConfiguration_data();
    void confirmWritesTheToolsConfiguration();
    void confirmNeedsAnAddress_data();
    void confirmNeedsAnAddress();
    void reportsWithoutGetAreIgnored();
    void tutorialFromTheLink();

private:
    void installCurrentComponent();
    // Serves the archive at about a `seconds` long download.
    void slowArchive(int seconds);

    SandboxServer m_server;
    std::unique_ptr<kyoroManager> m_window;
    kytest::UrlCatcher m_browser;
};

void TestLiveAddressDialogs::initTestCase()
{
    QVERIFY(m_server.start());
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &m_browser, "open");
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &m_browser, "open");
    // The main window initialises the hub, which starts the RPC service and
    // fetches the version file (stating the packed component's version).
    m_window = std::make_unique<kyoroManager>();
    m_window->initLogic();
    QVERIFY(KyLogicFW::instance()->liveCodeModuleManager());
    QVERIFY(kytest::waitForVersionFile());
    QVERIFY(QFileInfo::exists(moduleDir() + QStringLiteral("/version.ini")));
}

void TestLiveAddressDialogs::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    kytest::resetComponentState();
    m_window.reset();
}

void TestLiveAddressDialogs::init()
{
    kytest::resetComponentState();
    QDir(roamingAppDataRoot() + QStringLiteral("obs-studio")).removeRecursively();
    QDir(roamingAppDataRoot() + QStringLiteral("OBS")).removeRecursively();
    QVERIFY(m_server.clearRules());
    m_browser.urls.clear();
    qputenv("KYORO_LIVECODE_SCRIPT", "exit");
}

void TestLiveAddressDialogs::cleanup()
{
    kytest::endOwnProcesses({kytest::kComponentExe});
    KyFileDownloaderMgr::instance()->cancelDownload(LIVE_CODE_MODULE_NAME);
}

void TestLiveAddressDialogs::installCurrentComponent()
{
    const QString archive = kytest::copyArchiveToModuleDir();
    QVERIFY(!archive.isEmpty());
    LiveCodeModuleManager *manager = KyLogicFW::instance()->liveCodeModuleManager();
    manager->install(LIVE_CODE_MODULE_NAME, archive);
    QVERIFY(manager->isInstalled());
    QVERIFY(!manager->needsUpdate(LIVE_CODE_MODULE_NAME));
}

void TestLiveAddressDialogs::slowArchive(int seconds)
{
    const qint64 size = QFileInfo(kytest::servedArchive()).size();
    QJsonObject rule;
    rule.insert(QStringLiteral("path"), kArchivePath);
    rule.insert(QStringLiteral("slow"), qMax<qint64>(1, size / seconds));
    QVERIFY(m_server.addRule(rule));
}

void TestLiveAddressDialogs::getWithCurrentComponentWritesObsClassic()
{
    installCurrentComponent();
    qputenv("KYORO_LIVECODE_SCRIPT", "wait:300;broadcast:rtmp://127.0.0.1/live,live_42");
    // The report crosses from the RPC thread to the GUI thread.
    bool offGuiThread = false;
    // Declared after the flag, so the connection ends before the flag does,
    // also when a check below returns early.
    QObject connectionScope;
    connect(m_window->logicListener(), &UILogicListener::sglBroadcastInfoMsg, &connectionScope,
            [&] { offGuiThread = QThread::currentThread() != qApp->thread(); });

    kyLiveAddressSet dialog(TOOL_NAME_OBS_CLASSIC, m_window.get());
    dialog.show();
    QVERIFY(isEditing(dialog));
    click(&dialog, "button_get");
    QVERIFY(isWaiting(dialog));
    QVERIFY(!m_server.waitForEvent(QStringLiteral("click_stream_get")).isEmpty());

    QVERIFY(kytest::waitWhileComponentRuns([&] { return !dialog.isVisible(); }, kTimeout));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(obsClassicPushCode(), qMakePair(QStringLiteral("rtmp://127.0.0.1/live"), QStringLiteral("live_42")));
    QVERIFY(!offGuiThread);
}

void TestLiveAddressDialogs::reportStillOnItsWayWhenTheComponentEndsCounts()
{
    installCurrentComponent();
    qputenv("KYORO_LIVECODE_SCRIPT", "broadcast:rtmp://127.0.0.1/live,live_7");
    // The service releases the component before it passes the report on.
    // Held there until the component has ended, the report must still close
    // the dialog, however many polls find the component gone meanwhile. The
    // hold goes ahead of the hub's own connection, which queues the report.
    LiveMgrService *service = KyLogicFW::instance()->liveCodeModuleManager()->service();
    QObject *hub = KyLogicFW::instance();
    const char *signal = SIGNAL(sglBroadcastInfoMsg(QString, QString));
    const char *slot = SLOT(sltBroadcastMsg(QString, QString));
    QVERIFY(disconnect(service, signal, hub, nullptr));
    auto held = std::make_shared<std::atomic<bool>>(false);
    auto pass = std::make_shared<QSemaphore>();
    struct Release
    {
        std::shared_ptr<QSemaphore> pass;
        ~Release() { pass->release(); }
    } release{pass};
    QObject holdScope;
    connect(
        service, &LiveMgrService::sglBroadcastInfoMsg, &holdScope,
        [held, pass] {
            *held = true;
            pass->tryAcquire(1, kTimeout);
        },
        Qt::DirectConnection);
    QVERIFY(connect(service, signal, hub, slot));

    kyLiveAddressSet dialog(TOOL_NAME_OBS_STUDIO, m_window.get());
    dialog.show();
    click(&dialog, "button_get");
    QVERIFY(kytest::waitWhileComponentRuns([&] { return held->load(); }, kTimeout));
    // Its call was completed: it ends with the report still held.
    QTRY_VERIFY_WITH_TIMEOUT(!kytest::isRunning(QStringLiteral("LiveCodeModule.exe")), kTimeout);
    // Five polls and more: none may take the dialog back to editing.
    QVERIFY(!QTest::qWaitFor([&] { return isEditing(dialog); }, 1000));
    pass->release();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.isVisible(), kTimeout);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(obsStudioPushCode(), qMakePair(kSandboxRtmp, QStringLiteral("live_7")));
}

void TestLiveAddressDialogs::missingComponentLoadsThenLaunches()
{
    slowArchive(1);
    qputenv("KYORO_LIVECODE_SCRIPT", "broadcast");
    kyLiveAddressSet dialog(TOOL_NAME_OBS_STUDIO, m_window.get());
    dialog.show();

    QString title;
    QString text;
    int highestProgress = 0;
    bool loadingShown = false;
    answerModal<kyLoadSliderWidget>([&](kyLoadSliderWidget *loading) {
        loadingShown = true;
        title = child<QLabel>(loading, "label_titleName")->text();
        text = child<QLabel>(loading, "label_loadcomponet")->text();
        // Watch the bar until the download ends the dialog.
        QPointer<QProgressBar> bar = child<QProgressBar>(loading, "progressBar");
        auto *watch = new QTimer(bar);
        connect(watch, &QTimer::timeout, [&highestProgress, bar] {
            if (bar)
                highestProgress = qMax(highestProgress, bar->value());
        });
        watch->start(20);
    });
    click(&dialog, "button_get");
    QVERIFY(loadingShown);
    QCOMPARE(title, QStringLiteral("组件加载"));
    QCOMPARE(text, QStringLiteral("正在加载登录组件..."));
    QVERIFY(highestProgress > 0);

    // Unpacked, stamped with the served version, started.
    QVERIFY(QFileInfo(liveCodeModuleExePath()).isExecutable());
    QVERIFY(!QFileInfo::exists(moduleDir() + QStringLiteral("/LiveCodeModule.zip")));
    QCOMPARE(kytest::stampedVersion(), 1);
    QVERIFY(kytest::waitWhileComponentRuns([&] { return !dialog.isVisible(); }, kTimeout));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(obsStudioPushCode(), qMakePair(kSandboxRtmp, QStringLiteral("live_sandbox")));
}

void TestLiveAddressDialogs::closingTheLoadingDialogCancelsTheDownload()
{
    // An outdated component: launching asks for the download.
    installCurrentComponent();
    kytest::writeStamp(0);
    const QByteArray program = kytest::readFile(liveCodeModuleExePath());
    slowArchive(60);

    kyLiveAddressSet dialog(TOOL_NAME_OBS_STUDIO, m_window.get());
    dialog.show();
    answerModal<kyLoadSliderWidget>([](kyLoadSliderWidget *loading) {
        // Once the transfer runs.
        QTRY_VERIFY(KyFileDownloaderMgr::instance()->downloadProgress(LIVE_CODE_MODULE_NAME) >= 0);
        click(loading, "button_close");
    });
    click(&dialog, "button_get");

    QCOMPARE(KyFileDownloaderMgr::instance()->downloadProgress(LIVE_CODE_MODULE_NAME), -1);
    QVERIFY(isEditing(dialog));
    QVERIFY(dialog.isVisible());
    const QStringList leftovers = QDir(moduleDir()).entryList({QStringLiteral("LiveCodeModule.zip*")});
    QVERIFY2(leftovers.isEmpty(), qPrintable(leftovers.join(QLatin1Char(' '))));
    QCOMPARE(kytest::readFile(liveCodeModuleExePath()), program);
    QCOMPARE(kytest::stampedVersion(), 0);
    QVERIFY(!KyLogicFW::instance()->liveCodeModuleManager()->isComponentRunning());
}

void TestLiveAddressDialogs::downloadThatCannotStartShowsTheMessage()
{
    // Another download under the same name holds it.
    slowArchive(60);
    QCOMPARE(KyFileDownloaderMgr::instance()->startDownload(LIVE_CODE_MODULE_NAME, m_server.url(kArchivePath),
                                                            kytest::tempDir(), true),
             int(DOWNLOAD_STARTED));

    kyLiveAddressSet dialog(TOOL_NAME_OBS_STUDIO, m_window.get());
    dialog.show();
    QString message;
    bool cancelShown = false;
    answerModal<kyMsgTipWidget>([&](kyMsgTipWidget *tip) {
        message = child<QLabel>(tip, "label_tip")->text();
        cancelShown = child<QPushButton>(tip, "button_cancel")->isVisible();
        click(tip, "button_confirm");
    });
    click(&dialog, "button_get");
    QCOMPARE(message, QStringLiteral("安装包下载失败，可能是网络不通，请检查网络后重试"));
    QVERIFY(cancelShown);
    QVERIFY(isEditing(dialog));
    QVERIFY(dialog.isVisible());
}

void TestLiveAddressDialogs::roomFailureShowsTheFailureDialog_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("addressDialogOpen");
    QTest::addColumn<QStringList>("opened");

    QTest::newRow("get it by hand") << QStringLiteral("button_getRtmp") << true << QStringList{QStringLiteral("/room/my")};
    QTest::newRow("close") << QStringLiteral("button_close") << true << QStringList();
    QTest::newRow("start OBS at once") << QStringLiteral("button_reRun_OBS") << false << QStringList();
}

void TestLiveAddressDialogs::roomFailureShowsTheFailureDialog()
{
    QFETCH(QString, button);
    QFETCH(bool, addressDialogOpen);
    QFETCH(QStringList, opened);

    installCurrentComponent();
    // The address comes after the failure and must be ignored.
    kytest::setEnvironmentText("KYORO_LIVECODE_SCRIPT",
                               QStringLiteral("room_fail:-1,直播间未开通;wait:300;broadcast:rtmp://late/live,late;stay"));
    QSignalSpy reports(m_window->logicListener(), &UILogicListener::sglBroadcastInfoMsg);

    kyLiveAddressSet dialog(TOOL_NAME_OBS_STUDIO, m_window.get());
    dialog.show();
    QString failureText;
    bool waitingMeanwhile = false;
    answerModal<kyGetRtmpFalseWidget>([&](kyGetRtmpFalseWidget *failure) {
        failureText = child<QLabel>(failure, "label_text")->text();
        QTRY_COMPARE_WITH_TIMEOUT(reports.size(), 1, kTimeout);
        waitingMeanwhile = isWaiting(dialog);
        click(failure, button.toLatin1().constData());
    });
    click(&dialog, "button_get");

    QTRY_VERIFY_WITH_TIMEOUT(!failureText.isEmpty() && !qobject_cast<kyGetRtmpFalseWidget *>(QApplication::activeModalWidget()),
                             kTimeout);
    QCOMPARE(failureText, QStringLiteral("获取直播码失败"));
    QVERIFY(waitingMeanwhile);
    QVERIFY(!anyToolConfigWritten());
    QStringList openedPaths;
    for (const QUrl &url : m_browser.urls)
        openedPaths << url.path();
    QCOMPARE(openedPaths, opened);
    if (addressDialogOpen) {
        QVERIFY(dialog.isVisible());
        QVERIFY(isEditing(dialog));
    } else {
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
}

void TestLiveAddressDialogs::componentGoneWithoutReportRestoresEditing_data()
{
    QTest::addColumn<QString>("script");
    QTest::newRow("exits without a word") << QStringLiteral("wait:300;exit");
    QTest::newRow("reports its closing") << QStringLiteral("wait:300;close");
}

void TestLiveAddressDialogs::componentGoneWithoutReportRestoresEditing()
{
    QFETCH(QString, script);
    installCurrentComponent();
    kytest::setEnvironmentText("KYORO_LIVECODE_SCRIPT", script);

    kyLiveAddressSet dialog(TOOL_NAME_OBS_STUDIO, m_window.get());
    dialog.show();
    click(&dialog, "button_get");
    QVERIFY(isWaiting(dialog));
    LiveCodeModuleManager *manager = KyLogicFW::instance()->liveCodeModuleManager();
    QTRY_VERIFY_WITH_TIMEOUT(manager->isComponentRunning(), kTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(isEditing(dialog), kTimeout);
    QVERIFY(dialog.isVisible());
    QVERIFY(!anyToolConfigWritten());
}

void TestLiveAddressDialogs::confirmWritesTheToolsConfiguration_data()
{
    QTest::addColumn<QString>("tool");
    QTest::newRow("OBS Studio") << TOOL_NAME_OBS_STUDIO;
    QTest::newRow("OBS Classic") << TOOL_NAME_OBS_CLASSIC;
    QTest::newRow("another tool") << TOOL_NAME_KYTOOL;
}

void TestLiveAddressDialogs::confirmWritesTheToolsConfiguration()
{
    QFETCH(QString, tool);
    const int fillins = m_server.eventNames().count(QStringLiteral("click_stream_fillin"));

    kyLiveAddressSet dialog(tool, m_window.get());
    dialog.show();
    QTest::keyClicks(child<QLineEdit>(&dialog, "ledit_RTMP"), QStringLiteral(" rtmp://typed/live "));
    QTest::keyClicks(child<QLineEdit>(&dialog, "ledit_liveCode"), QStringLiteral("typed_code"));
    click(&dialog, "button_confirm");
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QTRY_COMPARE_WITH_TIMEOUT(m_server.eventNames().count(QStringLiteral("click_stream_fillin")), fillins + 1, kTimeout);

    // Written as typed, blanks included (a profile INI reads them back
    // trimmed).
    if (tool == TOOL_NAME_OBS_STUDIO) {
        QCOMPARE(obsStudioPushCode(), qMakePair(QStringLiteral(" rtmp://typed/live "), QStringLiteral("typed_code")));
    } else if (tool == TOOL_NAME_OBS_CLASSIC) {
        QCOMPARE(obsClassicPushCode(), qMakePair(QStringLiteral("rtmp://typed/live"), QStringLiteral("typed_code")));
    } else {
        QVERIFY(!anyToolConfigWritten());
        // Nor does another tool show an OBS address.
        QVERIFY(writeObsStudioPushCode(QStringLiteral("rtmp://obs/live"), QStringLiteral("k")));
        kyLiveAddressSet again(tool, m_window.get());
        QVERIFY(child<QLineEdit>(&again, "ledit_RTMP")->text().isEmpty());
        QVERIFY(!child<QPushButton>(&again, "button_confirm")->isEnabled());
    }
}

void TestLiveAddressDialogs::confirmNeedsAnAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("spaces") << QStringLiteral("   ") << false;
    QTest::newRow("tab and spaces") << QStringLiteral(" \t  ") << false;
    QTest::newRow("address") << QStringLiteral("rtmp://a/live") << true;
    QTest::newRow("any word") << QStringLiteral("  x ") << true;
}

void TestLiveAddressDialogs::confirmNeedsAnAddress()
{
    QFETCH(QString, address);
    QFETCH(bool, enabled);

    kyLiveAddressSet empty(TOOL_NAME_OBS_STUDIO, m_window.get());
    auto *confirm = child<QPushButton>(&empty, "button_confirm");
    QVERIFY(!confirm->isEnabled());
    child<QLineEdit>(&empty, "ledit_liveCode")->setText(QStringLiteral("code only"));
    QVERIFY(!confirm->isEnabled());
    child<QLineEdit>(&empty, "ledit_RTMP")->setText(address);
    QCOMPARE(confirm->isEnabled(), enabled);

    // A stored address counts from the start.
    QVERIFY(writeObsStudioPushCode(address, QStringLiteral("stored")));
    kyLiveAddressSet stored(TOOL_NAME_OBS_STUDIO, m_window.get());
    QCOMPARE(child<QLineEdit>(&stored, "ledit_liveCode")->text(), QStringLiteral("stored"));
    QCOMPARE(child<QPushButton>(&stored, "button_confirm")->isEnabled(), enabled);
}

void TestLiveAddressDialogs::reportsWithoutGetAreIgnored()
{
    kyLiveAddressSet dialog(TOOL_NAME_OBS_STUDIO, m_window.get());
    dialog.show();
    UILogicListener *listener = m_window->logicListener();
    emit listener->sglBroadcastInfoMsg(QStringLiteral("rtmp://stray/live"), QStringLiteral("stray"));
    emit listener->sglOpenLiveRoomResult(-1, QStringLiteral("stray"));
    QTest::qWait(50);
    QVERIFY(dialog.isVisible());
    QVERIFY(isEditing(dialog));
    QVERIFY(!anyToolConfigWritten());
    QVERIFY(!qobject_cast<kyGetRtmpFalseWidget *>(QApplication::activeModalWidget()));
}

void TestLiveAddressDialogs::tutorialFromTheLink()
{
    kyLiveAddressSet dialog(TOOL_NAME_OBS_STUDIO, m_window.get());
    dialog.show();
    QString firstStep;
    bool stayedOpen = false;
    answerModal<kyGetCodeTutorialWidget>([&](kyGetCodeTutorialWidget *tutorial) {
        firstStep = child<QLabel>(tutorial, "label_text_1_")->text();
        click(tutorial, "button_jump");
        stayedOpen = tutorial->isVisible();
        kytest::clickInWindow(child<QPushButton>(tutorial, "button_close"));
    });
    QTest::mouseClick(child<QLabel>(&dialog, "label_getCode"), Qt::LeftButton);
    QVERIFY(stayedOpen);
    QVERIFY2(firstStep.contains(webSiteDisplayAddress()), qPrintable(firstStep));
    QCOMPARE(m_browser.urls, QList<QUrl>{QUrl(webSiteUrl(QStringLiteral("/room/my")))});
    QVERIFY(dialog.isVisible());
}

KY_TEST_MAIN(TestLiveAddressDialogs)
#include "testliveaddressdialogs.moc"
