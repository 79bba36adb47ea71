#include "ui/kyliveaddressset.h"
#include "ui_kyliveaddressset.h"

#include "common/kyconstants.h"
#include "common/kyhosts.h"
#include "common/kypaths.h"
#include "common/kytexts.h"
#include "livecode/livecodemodulemanager.h"
#include "livecode/livemgrservice.h"
#include "download/kydownloadrules.h"
#include "download/kyfiledownloadermgr.h"
#include "logic/kylivetoolconfig.h"
#include "logic/kylogicfw.h"
#include "logic/kytoolfacts.h"
#include "logic/uilogiclistener.h"
#include "telemetry/kyoropointing.h"
#include "ui/kygetcodetutorialwidget.h"
#include "ui/kygetrtmpfalsewidget.h"
#include "ui/kyloadsliderwidget.h"
#include "ui/kymsgtipwidget.h"
#include "ui/kyaccessibility.h"
#include "ui/kyoromanager.h"

#include <QDebug>
#include <QEvent>
#include <QListView>
#include <QMutexLocker>
#include <QTimerEvent>

namespace {
const int kPollIntervalMs = 200;
// Download-and-install rounds in a row after which launching is given up.
const int kMaxInstallRounds = 2;
const QString kArchiveLocation = QStringLiteral("/client_download/VURuv/files/ModuleDownload/LiveCodeModule.zip");
} // namespace

kyLiveAddressSet::kyLiveAddressSet(QString toolName, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::kyLiveAddressSet>())
    , m_toolName(std::move(toolName))
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    // The application-wide drag filter moves the dialog by its title band.
    setProperty("CanMove", true);
    setProperty("TitleHeight", 36);
    const QString sheet = readTextFile(QSS_MAIN);
    setStyleSheet(sheet);
    // The popup is a window of its own and does not inherit the sheet.
    ui->com_livePlat->setStyleSheet(sheet);

    ui->com_livePlat->setView(new QListView(ui->com_livePlat));
    ui->com_livePlat->addItem(TEXT_LIVE_PLATFORM);
    ui->com_livePlat->setCurrentIndex(0);
    ui->label_getCode->installEventFilter(this);
    kyMakeActingLabel(ui->label_getCode);
    ui->button_confirm->setEnabled(false);
    // Enter in the address or code field confirms (while "确认" can).
    ui->button_confirm->setDefault(true);
    kyMarkDecorative({ui->liveAddress_titleback, ui->label_logo});
    kyCloseOnEscape(ui->button_close);
    connect(ui->ledit_RTMP, &QLineEdit::textChanged, this, &kyLiveAddressSet::sltTextEditChanged);

    if (UILogicListener *listener = mainWindow() ? mainWindow()->logicListener() : nullptr) {
        connect(listener, &UILogicListener::sglBroadcastInfoMsg, this, &kyLiveAddressSet::sltBroadcastMsg);
        connect(listener, &UILogicListener::sglOpenLiveRoomResult, this, &kyLiveAddressSet::sltOpenLiveRoomResult);
        connect(listener, &UILogicListener::sglLiveCodeModuleClose, this, &kyLiveAddressSet::sltLiveCodeModuleClose);
    }
    // Queued: the failure dialog runs after the slot that asks for it has
    // released the lock.
    connect(this, &kyLiveAddressSet::sglShowFiledDialog, this, &kyLiveAddressSet::sltShowFiledDialog, Qt::QueuedConnection);

    QString url;
    QString code;
    if (m_toolName == TOOL_NAME_OBS_CLASSIC)
        readObsClassicPushCode(url, code);
    else if (m_toolName == TOOL_NAME_OBS_STUDIO)
        readObsStudioPushCode(url, code);
    // A known address enables "确认" through sltTextEditChanged.
    ui->ledit_RTMP->setText(url);
    ui->ledit_liveCode->setText(code);

    m_url.clear();
    m_code.clear();
    m_pollTimerId = -1;
}

kyLiveAddressSet::~kyLiveAddressSet()
{
    // The form is gone before the base class deletes the widgets, which may
    // still send events.
    ui->label_getCode->removeEventFilter(this);
    QMutexLocker locker(&m_lock);
    stopPolling();
}

void kyLiveAddressSet::setInteractive(bool on)
{
    // While the component runs the dialog is present but invisible, inert
    // and not draggable.
    setEnabled(on);
    setWindowOpacity(on ? 1.0 : 0.0);
    setProperty("CanMove", on);
}

void kyLiveAddressSet::on_button_close_clicked()
{
    close();
}

void kyLiveAddressSet::on_button_get_clicked()
{
    reportEvent(POINTING_CLICK_STREAM_GET);
    tryLaunch();
}

void kyLiveAddressSet::tryLaunch()
{
    LiveCodeModuleManager *manager = KyLogicFW::instance()->liveCodeModuleManager();
    if (!manager)
        return;
    // A component that still fails after an install starts another download
    // round; the user ends it by closing the loading dialog. An archive that
    // never yields a startable component would repeat the rounds for ever,
    // so they end with the failure dialog after kMaxInstallRounds.
    for (int rounds = 0;; ++rounds) {
        switch (manager->launch()) {
        case LAUNCH_OK:
            startPolling();
            return;
        case LAUNCH_START_FAILED:
        case LAUNCH_NOT_INSTALLED:
        case LAUNCH_UPDATE_NEEDED:
            if (rounds >= kMaxInstallRounds) {
                qWarning().noquote().nospace() << "by tq liveCodeModule not started after " << rounds << " installs";
                sltShowFiledDialog();
                return;
            }
            if (downloadAndInstall() == Round::Stopped)
                return;
            break;
        default:
            return;
        }
    }
}

void kyLiveAddressSet::startPolling()
{
    // Set without the lock: nothing else runs on this thread meanwhile.
    if (m_pollTimerId != -1)
        killTimer(m_pollTimerId);
    m_pollTimerId = startTimer(kPollIntervalMs, Qt::CoarseTimer);
    m_goneCheckQueued = false;
    setInteractive(false);
}

void kyLiveAddressSet::stopPolling()
{
    if (m_pollTimerId != -1) {
        killTimer(m_pollTimerId);
        m_pollTimerId = -1;
    }
    m_goneCheckQueued = false;
}

bool kyLiveAddressSet::isListening() const
{
    return m_pollTimerId != -1 || m_goneCheckQueued;
}

kyLiveAddressSet::Round kyLiveAddressSet::downloadAndInstall()
{
    KyLogicFW *hub = KyLogicFW::instance();
    const int result = hub->fileDownloaderMgr()->startDownload(LIVE_CODE_MODULE_NAME, downloadServerUrl(kArchiveLocation),
                                                               moduleDir(), true);
    if (result != DOWNLOAD_STARTED) {
        kyMsgTipWidget message(downloadFailedMessage(moduleDir()), true, this);
        message.exec();
        return Round::Stopped;
    }

    kyLoadSliderWidget loading(LIVE_CODE_MODULE_NAME, this);
    if (loading.exec() != QDialog::Accepted) {
        hub->fileDownloaderMgr()->cancelDownload(LIVE_CODE_MODULE_NAME);
        return Round::Stopped;
    }
    return hub->liveCodeModuleManager()->install(LIVE_CODE_MODULE_NAME, loading.downloadedFile()) ? Round::Installed
                                                                                                  : Round::Failed;
}

void kyLiveAddressSet::timerEvent(QTimerEvent *event)
{
    QMutexLocker locker(&m_lock);
    if (event->timerId() != m_pollTimerId || m_pollTimerId == -1) {
        locker.unlock();
        QDialog::timerEvent(event);
        return;
    }
    LiveCodeModuleManager *manager = KyLogicFW::instance()->liveCodeModuleManager();
    // The service releases the component before it passes the report on, so
    // the component can be gone while its report is still on the way.
    if (manager
        && (manager->isComponentRunning() || (manager->service() && manager->service()->isDelivering())))
        return;
    // The component is gone, and whatever it reported is queued for this
    // thread by now: the dialog goes back to editing behind it, and only
    // when no report came.
    stopPolling();
    m_goneCheckQueued = true;
    QMetaObject::invokeMethod(this, [this] { componentGone(); }, Qt::QueuedConnection);
}

void kyLiveAddressSet::componentGone()
{
    {
        QMutexLocker locker(&m_lock);
        if (!m_goneCheckQueued)
            return;
        m_goneCheckQueued = false;
        m_url.clear();
        m_code.clear();
    }
    setInteractive(true);
}

void kyLiveAddressSet::sltBroadcastMsg(QString url, QString code)
{
    {
        QMutexLocker locker(&m_lock);
        // Only the component this dialog started is listened to.
        if (!isListening())
            return;
        stopPolling();
        m_url = url;
        m_code = code;
    }
    // Outside the lock, and back to editing first: a refusal is shown
    // modally, and a message box of a disabled dialog would be disabled too.
    setInteractive(true);
    if (!writePushCode(url, code)) {
        // What arrived goes into the fields, to be corrected there.
        ui->ledit_RTMP->setText(url);
        ui->ledit_liveCode->setText(code);
        return;
    }
    accept();
}

void kyLiveAddressSet::sltOpenLiveRoomResult(int res, QString msg)
{
    Q_UNUSED(res)
    Q_UNUSED(msg)
    // Whatever the result says, the component has no live code for us.
    QMutexLocker locker(&m_lock);
    if (!isListening())
        return;
    stopPolling();
    emit sglShowFiledDialog();
}

void kyLiveAddressSet::sltLiveCodeModuleClose()
{
    QMutexLocker locker(&m_lock);
    stopPolling();
    m_url.clear();
    m_code.clear();
    setInteractive(true);
}

void kyLiveAddressSet::sltShowFiledDialog()
{
    // Parent-less: its flags make it a window only without a parent, and a
    // child of this (disabled) dialog would be disabled too.
    kyGetRtmpFalseWidget failure;
    if (failure.exec() == QDialog::Accepted)
        setInteractive(true);
    else
        accept(); // nothing written; the main window starts the tool as it is
}

void kyLiveAddressSet::sltTextEditChanged(QString str)
{
    Q_UNUSED(str)
    ui->button_confirm->setEnabled(!ui->ledit_RTMP->text().simplified().isEmpty());
}

void kyLiveAddressSet::on_button_confirm_clicked()
{
    reportEvent(POINTING_CLICK_STREAM_FILLIN);
    if (writePushCode(ui->ledit_RTMP->text(), ui->ledit_liveCode->text()))
        accept();
}

void kyLiveAddressSet::on_button_cancel_clicked()
{
    close();
}

bool kyLiveAddressSet::writePushCode(const QString &url, const QString &code)
{
    bool written = true;
    if (m_toolName == TOOL_NAME_OBS_CLASSIC)
        written = writeObsClassicPushCode(url, code);
    else if (m_toolName == TOOL_NAME_OBS_STUDIO)
        written = writeObsStudioPushCode(url, code);
    if (!written) {
        qWarning().noquote() << "by tq write push code failed :" << m_toolName;
        kyMsgTipWidget message(MSG_PUSH_CODE_NOT_WRITTEN, false, this);
        message.exec();
    }
    return written;
}

bool kyLiveAddressSet::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->label_getCode && event->type() == QEvent::MouseButtonPress) {
        kyGetCodeTutorialWidget tutorial(nullptr);
        tutorial.exec();
    }
    return false;
}
