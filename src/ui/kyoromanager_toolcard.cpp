// The tool cards of the live page: which tool is current, its status, and the
// download, install, open and live-setting flows.
#include "ui/kyoromanager.h"
#include "ui_kyoromanager.h"

#include "common/kyconstants.h"
#include "common/kypaths.h"
#include "common/kytexts.h"
#include "download/kydownloadrules.h"
#include "download/kyfiledownloadermgr.h"
#include "logic/installpathsettings.h"
#include "logic/kylivetoolsmanager.h"
#include "logic/kylogicfw.h"
#include "logic/kytoolfacts.h"
#include "telemetry/kyoropointing.h"
#include "ui/kyinstallwidget.h"
#include "ui/kyliveaddressset.h"
#include "ui/kymsgtipwidget.h"

#include <QRadioButton>
#include <QTimer>

namespace {
KyLiveToolsManager *tools()
{
    return KyLogicFW::instance()->liveToolsManager();
}

KyFileDownloaderMgr *downloads()
{
    return KyLogicFW::instance()->fileDownloaderMgr();
}

// Whether the tool belongs on the platform's card (else on the OBS card).
bool isKyoroEdition(const QString &name)
{
    const ToolFacts *tool = toolFacts(name);
    return tool && tool->family == ToolFamily::Kyoro;
}
} // namespace

void kyoroManager::showMessage(const QString &message)
{
    kyMsgTipWidget tip(message, true, nullptr);
    tip.exec();
}

void kyoroManager::on_button_KyoroLive_clicked()
{
    ui->stackedWidget_2->setCurrentWidget(ui->page_kyoroPage);
    ui->button_KyoroLive->setChecked(true);
    ui->button_OBSLive->setChecked(false);
    m_currentTool = ui->radio_kyTool->isChecked() ? TOOL_NAME_KYTOOL : TOOL_NAME_KYSHOW;
    ui->widget->setTool(m_currentTool);
    updateToolTexts(m_currentTool);
    emit sglLiveToolSwitched();
}

void kyoroManager::on_button_OBSLive_clicked()
{
    ui->stackedWidget_2->setCurrentWidget(ui->page_OBSPage);
    ui->button_OBSLive->setChecked(true);
    ui->button_KyoroLive->setChecked(false);
    m_currentTool = ui->radio_classic->isChecked() ? TOOL_NAME_OBS_CLASSIC : TOOL_NAME_OBS_STUDIO;
    ui->widget_3->setTool(m_currentTool);
    updateToolTexts(m_currentTool);
    emit sglLiveToolSwitched();
}

void kyoroManager::sltRadioClicked()
{
    auto *radio = qobject_cast<QRadioButton *>(sender());
    if (!radio)
        return;
    QString name;
    kyCenterPictureWidget *pictures = nullptr;
    if (radio == ui->radio_kyTool) {
        name = TOOL_NAME_KYTOOL;
        pictures = ui->widget;
    } else if (radio == ui->radio_kyShow) {
        name = TOOL_NAME_KYSHOW;
        pictures = ui->widget;
    } else if (radio == ui->radio_classic) {
        name = TOOL_NAME_OBS_CLASSIC;
        pictures = ui->widget_3;
    } else if (radio == ui->radio_studio) {
        name = TOOL_NAME_OBS_STUDIO;
        pictures = ui->widget_3;
    } else {
        return;
    }
    m_currentTool = name;
    pictures->setTool(name);
    updateToolTexts(name);
    emit sglLiveToolSwitched();
}

void kyoroManager::updateToolTexts(const QString &name)
{
    const ToolFacts *tool = toolFacts(name);
    if (!tool)
        return;
    if (tool->family == ToolFamily::Kyoro) {
        ui->label_kyoroTitle->setText(tool->cardTitle);
        ui->label_kyoro_introduce->setText(tool->introduction);
    } else {
        ui->label_OBSTitle->setText(tool->cardTitle);
        ui->label_OBS_introduce->setText(tool->introduction);
    }
    nameCardButtons(name);
}

// The card's picture buttons say nothing in text: screen readers call them
// by what they do to the card's tool.
void kyoroManager::nameCardButtons(const QString &name)
{
    const ToolFacts *tool = toolFacts(name);
    if (!tool)
        return;
    const QString &title = tool->cardTitle;
    const bool kyoroCard = tool->family == ToolFamily::Kyoro;
    (kyoroCard ? ui->button_install_kyoro : ui->button_install_OBS)->setAccessibleName(QStringLiteral("安装 ") + title);
    (kyoroCard ? ui->button_open_kyoro : ui->button_open_OBS)->setAccessibleName(QStringLiteral("打开 ") + title);
    (kyoroCard ? ui->button_running_kyoro : ui->button_running_OBS)->setAccessibleName(title + QStringLiteral(" 直播中"));
}

void kyoroManager::sltLiveToolSwitched()
{
    m_currentStatus = tools()->toolStatus(m_currentTool);
    refreshToolState();
}

void kyoroManager::refreshToolState()
{
    QWidget *focused = focusWidget();
    ui->button_liveset->setVisible(true);
    switch (m_currentStatus) {
    case APP_NOT_INSTALLED:
        ui->button_install_kyoro->show();
        ui->button_install_OBS->show();
        ui->button_open_kyoro->hide();
        ui->button_open_OBS->hide();
        ui->button_running_kyoro->hide();
        ui->button_running_OBS->hide();
        ui->button_liveset->hide();
        break;
    case APP_INSTALLED:
        ui->button_install_kyoro->hide();
        ui->button_install_OBS->hide();
        ui->button_open_kyoro->show();
        ui->button_open_OBS->show();
        ui->button_running_kyoro->hide();
        ui->button_running_OBS->hide();
        break;
    case APP_RUNNING:
        ui->button_install_kyoro->hide();
        ui->button_install_OBS->hide();
        ui->button_open_kyoro->hide();
        ui->button_open_OBS->hide();
        ui->button_running_kyoro->show();
        ui->button_running_OBS->show();
        ui->button_running_kyoro->setEnabled(false);
        ui->button_running_OBS->setEnabled(false);
        ui->button_liveset->hide();
        break;
    default:
        break;
    }
    keepFocusOnCardAction(focused);

    // Before the logic is initialised nothing can be running.
    if (!tools() || !downloads()) {
        showProgress(-1, true);
        return;
    }
    const int downloaded = downloads()->downloadProgress(m_currentTool);
    if (downloaded >= 0)
        showProgress(downloaded, true);
    else
        showProgress(tools()->installProgress(m_currentTool), false);
}

// The install, open and running buttons take turns on one spot: a keyboard
// user whose focus was on the one that went away finds it on the one that
// came, not somewhere further down the card.
void kyoroManager::keepFocusOnCardAction(QWidget *focused)
{
    auto *button = qobject_cast<QPushButton *>(focused);
    if (!button || button->isVisibleTo(this))
        return;
    const QList<QList<QPushButton *>> cards = {
        {ui->button_install_kyoro, ui->button_open_kyoro, ui->button_running_kyoro},
        {ui->button_install_OBS, ui->button_open_OBS, ui->button_running_OBS},
    };
    for (const QList<QPushButton *> &actions : cards) {
        if (!actions.contains(button))
            continue;
        for (QPushButton *action : actions) {
            if (action->isVisibleTo(this) && action->isEnabled())
                action->setFocus(Qt::OtherFocusReason);
        }
    }
}

void kyoroManager::showProgress(int progress, bool isDownload)
{
    QProgressBar *bar = ui->progressBar_OBS;
    QPushButton *cancel = ui->button_cancelDownload_2;
    QLabel *label = ui->label_progressValue_2;
    if (isKyoroEdition(m_currentTool)) {
        bar = ui->progressBar_main;
        cancel = ui->button_cancelDownload;
        label = ui->label_progressValue;
    }
    if (progress < 0) {
        bar->hide();
        bar->setValue(0);
        cancel->hide();
        label->hide();
        return;
    }
    bar->show();
    bar->setValue(progress);
    bar->setAccessibleName(isDownload ? QStringLiteral("下载进度") : QStringLiteral("安装进度"));
    label->show();
    if (isDownload) {
        label->setText(QStringLiteral("正在下载：%1%").arg(progress));
        cancel->show();
    } else {
        label->setText(QStringLiteral("正在安装：%1%").arg(progress));
    }
}

void kyoroManager::runInstallButton(bool kyoroCard)
{
    const int status = tools()->toolStatus(m_currentTool);
    // toolStatus has already delivered the monitor's signals, so a status that
    // changed behind the window's back is usually corrected by now.
    if (status != m_currentStatus) {
        m_currentStatus = status;
        refreshToolState();
        return;
    }
    if (m_currentStatus != APP_NOT_INSTALLED)
        return;

    const ToolFacts *tool = toolFacts(m_currentTool);
    if (!tool || (tool->family == ToolFamily::Kyoro) != kyoroCard)
        return;
    reportEvent(POINTING_CLICK_INSTALL, QStringLiteral("type"), tool->code);
    // A tool with a fixed folder (OBS Classic) goes there: no folder dialog.
    if (tool->folderFixed) {
        startToolDownload();
        return;
    }
    kyInstallWidget folder(this);
    folder.setMode(installFolderMode(m_currentTool));
    if (folder.exec() == QDialog::Accepted)
        startToolDownload();
}

void kyoroManager::on_button_install_kyoro_clicked()
{
    runInstallButton(true);
}

void kyoroManager::on_button_install_OBS_clicked()
{
    runInstallButton(false);
}

void kyoroManager::startToolDownload()
{
    const QString dir = downloadDir();
    const QString url = tools()->downloadUrl(m_currentTool);
    const int result = downloads()->startDownload(m_currentTool, url, dir, false);
    if (result == DOWNLOAD_STARTED) {
        showProgress(0, true);
    } else if (result == DOWNLOAD_FILE_EXISTS) {
        // The installer is already in the download folder.
        installDownloadedTool(m_currentTool, downloadTargetPath(dir, url));
    } else {
        showMessage(downloadFailedMessage(dir));
    }
}

void kyoroManager::sltUpdateDownloadProgress(QString name, int progress)
{
    if (name == m_currentTool)
        showProgress(progress, true);
}

void kyoroManager::sltDownloadFailed(QString name)
{
    if (name == m_currentTool)
        showProgress(-1, true);
}

void kyoroManager::sltDownloadFinished(QString name, QString downloadedFile)
{
    if (name == m_currentTool)
        showProgress(-1, true);
    installDownloadedTool(name, downloadedFile);
}

void kyoroManager::installDownloadedTool(const QString &name, const QString &file)
{
    // Other downloads (the login component, its version file) pass through
    // the same signal.
    const ToolFacts *tool = toolFacts(name);
    if (!tool)
        return;
    if (tools()->isToolInstalled(name)) {
        if (name == m_currentTool) {
            m_currentStatus = APP_INSTALLED;
            showProgress(-1, false);
            refreshToolState();
        }
        return;
    }
    const QString dir = m_installPathSettings->installPath(name);
    if (tools()->installTool(name, file, dir, tool->installEstimateMs)) {
        if (name == m_currentTool)
            showProgress(0, false);
        return;
    }
    // This runs inside the downloader's finished signal, while the downloader
    // still holds its lock: the modal message waits for the event loop.
    QTimer::singleShot(0, this, [this]() { showMessage(MSG_INSTALL_FAILED); });
}

void kyoroManager::sltLiveToolInstallProgress(QString name, int progress)
{
    if (name == m_currentTool)
        showProgress(progress, false);
}

void kyoroManager::sltLiveToolInstallFinished(QString name)
{
    if (name != m_currentTool)
        return;
    showProgress(-1, true);
    m_currentStatus = tools()->toolStatus(m_currentTool);
    if (m_currentStatus != APP_NOT_INSTALLED)
        reportEvent(POINTING_CLICK_INSTALL_SUCC, QStringLiteral("type"), toolCode(m_currentTool));
    refreshToolState();
    updateToolTexts(m_currentTool);
}

void kyoroManager::on_button_cancelDownload_clicked()
{
    downloads()->cancelDownload(m_currentTool);
    showProgress(-1, true);
}

void kyoroManager::on_button_cancelDownload_2_clicked()
{
    downloads()->cancelDownload(m_currentTool);
    showProgress(-1, true);
}

void kyoroManager::sltUpdateAppStatus(QString name, int status)
{
    // A setup registers its tool before it has finished: while the installer
    // this window started still runs, the card keeps showing the install
    // and its end re-reads the status.
    if (name == m_currentTool && tools() && tools()->installProgress(name) >= 0)
        return;
    if (name == m_currentTool && status != m_currentStatus) {
        m_currentStatus = status;
        refreshToolState();
    }
}

void kyoroManager::openCurrentTool(bool kyoroCard)
{
    if (!tools()->isToolInstalled(m_currentTool)) {
        m_currentStatus = APP_NOT_INSTALLED;
        refreshToolState();
        return;
    }
    const int code = toolCode(m_currentTool);
    const bool onThisCard = kyoroCard ? isKyoroEdition(m_currentTool) : !isKyoroEdition(m_currentTool);
    if (onThisCard && code != TOOL_CODE_NONE)
        reportEvent(POINTING_CLICK_LIVETOOL_OPEN, QStringLiteral("type"), code);
    // The status monitor's next tick shows the running tool.
    if (!tools()->launchTool(m_currentTool))
        showMessage(MSG_LAUNCH_FAILED);
}

void kyoroManager::on_button_open_kyoro_clicked()
{
    openCurrentTool(true);
}

void kyoroManager::on_button_open_OBS_clicked()
{
    openCurrentTool(false);
}

void kyoroManager::on_button_liveset_clicked()
{
    if (!tools()->isToolInstalled(m_currentTool)) {
        m_currentStatus = APP_NOT_INSTALLED;
        refreshToolState();
        return;
    }
    kyLiveAddressSet dialog(m_currentTool, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_currentStatus = tools()->toolStatus(m_currentTool);
    refreshToolState();
    if (m_currentStatus == APP_NOT_INSTALLED) {
        showMessage(MSG_OBS_NOT_INSTALLED);
    } else if (m_currentStatus == APP_RUNNING) {
        showMessage(MSG_OBS_RUNNING);
    } else if (m_currentStatus == APP_INSTALLED) {
        if (!tools()->launchTool(m_currentTool))
            showMessage(MSG_LAUNCH_FAILED);
    }
}
