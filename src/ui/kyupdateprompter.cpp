#include "ui/kyupdateprompter.h"

#include "common/kypaths.h"
#include "logic/uilogiclistener.h"
#include "ui/kymsgtipwidget.h"
#include "ui/kyoromanager.h"
#include "ui/kyupdatenotice.h"
#include "update/kyupdater.h"

#include <QApplication>
#include <QTimer>

namespace {
// How often a waiting notice looks whether the other dialog has closed.
const int kWaitForDialogMs = 1000;
} // namespace

kyUpdatePrompter::kyUpdatePrompter(kyoroManager *window, UILogicListener *listener)
    : QObject(window)
    , m_window(window)
    , m_updater(new KyUpdater(this))
{
    if (listener)
        connect(listener, &UILogicListener::sglUpdateAppStatus, m_updater, &KyUpdater::sltToolStatus);
    connect(m_updater, &KyUpdater::sglOffer, this, &kyUpdatePrompter::offer);
    connect(m_updater, &KyUpdater::sglIncomplete, this, &kyUpdatePrompter::incomplete);
    connect(m_updater, &KyUpdater::sglUpToDate, this,
            [this] { tell(QStringLiteral("当前已是最新版本。")); });
    connect(m_updater, &KyUpdater::sglCheckFailed, this,
            [this] { tell(QStringLiteral("检查更新失败，请检查网络后重试。")); });
    connect(m_updater, &KyUpdater::sglDownloadProgress, this, [this](int percent) {
        if (m_notice)
            m_notice->showProgress(percent);
    });
    connect(m_updater, &KyUpdater::sglUpdateFailed, this, [this](const QString &why) {
        if (m_notice)
            m_notice->close();
        tell(why);
        answered();
    });
    connect(m_updater, &KyUpdater::sglInstallRefused, this, [this] {
        if (m_notice)
            m_notice->close();
        tell(QStringLiteral("没有获得管理员权限，未更新。Kyoro直播管家 将继续运行。"));
        m_quitAfterAnswer = false;
    });
    connect(m_updater, &KyUpdater::sglQuitForInstall, this, [this] {
        if (m_notice)
            m_notice->close();
        m_window->quitProgram();
    });
}

kyUpdatePrompter::~kyUpdatePrompter() = default;

kyUpdateNotice *kyUpdatePrompter::notice() const
{
    return m_notice;
}

void kyUpdatePrompter::start()
{
    m_updater->start();
}

void kyUpdatePrompter::checkNow()
{
    m_updater->checkNow();
}

bool kyUpdatePrompter::quitRequested()
{
    switch (m_updater->atQuit()) {
    case KyUpdater::QuitStep::OfferFirst:
        m_quitAfterAnswer = true;
        return true;
    case KyUpdater::QuitStep::Installing:
    case KyUpdater::QuitStep::Quit:
        break;
    }
    return false;
}

void kyUpdatePrompter::offer(bool manual, bool waiting)
{
    Q_UNUSED(manual);
    m_pendingOffer = true;
    m_pendingWaiting = waiting;
    showWhenFree();
}

void kyUpdatePrompter::incomplete(const QString &version)
{
    m_pendingIncomplete = version;
    showWhenFree();
}

kyUpdateNotice *kyUpdatePrompter::openNotice()
{
    if (m_notice)
        return m_notice;
    m_notice = new kyUpdateNotice(m_window);
    m_notice->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_notice, &kyUpdateNotice::sglInstallNow, m_updater, &KyUpdater::installNow);
    connect(m_notice, &kyUpdateNotice::sglLater, this, [this] {
        m_updater->later();
        answered();
    });
    connect(m_notice, &kyUpdateNotice::sglSkip, this, [this] {
        m_updater->skipVersion();
        answered();
    });
    connect(m_notice, &kyUpdateNotice::sglDismissed, this, [this] {
        m_updater->dismiss();
        answered();
    });
    connect(m_notice, &kyUpdateNotice::sglRetry, m_updater, &KyUpdater::retry);
    connect(m_notice, &kyUpdateNotice::sglManualDownload, this, [] { openUrl(updateManualDownloadUrl()); });
    connect(m_notice, &kyUpdateNotice::sglAutoCheckChanged, m_updater, &KyUpdater::setAutoCheck);
    return m_notice;
}

void kyUpdatePrompter::showWhenFree()
{
    // Never over another dialog: the one up is answered first.
    QWidget *modal = QApplication::activeModalWidget();
    if (modal && modal != m_notice) {
        QTimer::singleShot(kWaitForDialogMs, this, &kyUpdatePrompter::showWhenFree);
        return;
    }
    if (!m_pendingOffer && m_pendingIncomplete.isEmpty())
        return;
    kyUpdateNotice *notice = openNotice();
    if (m_pendingOffer && m_updater->hasAvailable()) {
        const KyUpdateDescription update = m_updater->available();
        notice->showOffer(update.version, update.notes, m_pendingWaiting, m_updater->autoCheck());
        m_pendingIncomplete.clear();
    } else if (!m_pendingIncomplete.isEmpty()) {
        notice->showIncomplete(m_pendingIncomplete);
        m_pendingIncomplete.clear();
    }
    m_pendingOffer = false;
    // From the tray or the main window: it comes up beside the window, which
    // it does not raise.
    notice->show();
    notice->raise();
    notice->activateWindow();
}

void kyUpdatePrompter::tell(const QString &message)
{
    auto *tip = new kyMsgTipWidget(message, false, nullptr);
    tip->setAttribute(Qt::WA_DeleteOnClose);
    tip->open();
}

void kyUpdatePrompter::answered()
{
    if (!m_quitAfterAnswer)
        return;
    m_quitAfterAnswer = false;
    m_window->quitProgram();
}
