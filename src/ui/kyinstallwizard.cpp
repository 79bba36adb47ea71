#include "ui/kyinstallwizard.h"

#include "common/kyconstants.h"
#include "common/kyhosts.h"
#include "common/kypaths.h"
#include "common/kytexts.h"
#include "download/kydownloadrules.h"
#include "download/kyfiledownloadermgr.h"
#include "logic/installpathsettings.h"
#include "logic/kylivetoolsmanager.h"
#include "logic/kylogicfw.h"
#include "logic/uilogiclistener.h"
#include "telemetry/kyoropointing.h"
#include "ui/kyaccessibility.h"
#include "ui/kyinstallwidget.h"
#include "ui/kymsgtipwidget.h"
#include "ui/kyoromanager.h"
#include "ui/kypictures.h"
#include "ui/kyuilog.h"

#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTimer>

#include <algorithm>
#include <iterator>

namespace {
KyLiveToolsManager *tools()
{
    return KyLogicFW::instance()->liveToolsManager();
}

KyFileDownloaderMgr *downloads()
{
    return KyLogicFW::instance()->fileDownloaderMgr();
}

InstallPathSettings *installPaths()
{
    kyoroManager *window = mainWindow();
    return window ? window->installPathSettings() : nullptr;
}

QString installPathOf(const QString &tool)
{
    InstallPathSettings *settings = installPaths();
    return settings ? settings->installPath(tool) : QString();
}
} // namespace

kyInstallWizard::kyInstallWizard(ToolFamily family, QWidget *parent)
    : QDialog(parent)
    , m_editions(toolsOfFamily(family))
{
    Q_ASSERT(m_editions.size() == 2);
    m_currentTool = m_editions[0]->name;
}

kyInstallWizard::~kyInstallWizard() = default;

void kyInstallWizard::initWizard(const WizardWidgets &widgets, const QString &styleSheet,
                                 Qt::ConnectionType downloadSignals)
{
    m_widgets = widgets;
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    // The application-wide drag filter moves the dialog by its header.
    setProperty("CanMove", true);
    setProperty("TitleHeight", 142);

    const QString sheet = readTextFile(styleSheet);
    setStyleSheet(sheet);
    m_widgets.pages[PageEditions]->setStyleSheet(sheet);

    const QBrush brush = kyStretchedPicture(RES_INSTALL_HEADER_BACK, size(), devicePixelRatioF());
    if (brush.style() != Qt::NoBrush) {
        for (QWidget *header : m_widgets.headers) {
            header->setAutoFillBackground(true);
            QPalette pal = header->palette();
            pal.setBrush(QPalette::Window, brush);
            header->setPalette(pal);
        }
    }

    for (QLabel *label : m_widgets.clickReload) {
        label->installEventFilter(this);
        kyMakeActingLabel(label, QAccessible::Button);
    }
    for (QLabel *link : m_widgets.obsLinks) {
        if (link) {
            link->installEventFilter(this);
            kyMakeActingLabel(link);
        }
    }
    for (int page = 0; page < 5; ++page) {
        kyMarkDecorative({m_widgets.logos[page]});
        kyCloseOnEscape(m_widgets.closeButtons[page]);
    }

    kyoroManager *window = mainWindow();
    UILogicListener *listener = window ? window->logicListener() : nullptr;
    if (listener) {
        connect(listener, &UILogicListener::sglLiveToolUnInstallFinished, this,
                &kyInstallWizard::sltLiveToolUnInstallFinished, Qt::QueuedConnection);
        connect(listener, &UILogicListener::sglUpdateDownloadProgress, this, &kyInstallWizard::sltUpdateDownloadProgress,
                downloadSignals);
        connect(listener, &UILogicListener::sglDownloadFinished, this, &kyInstallWizard::sltDownloadFinished,
                downloadSignals);
        connect(listener, &UILogicListener::sglDownloadFailed, this, &kyInstallWizard::sltDownloadFailed,
                downloadSignals);
        connect(listener, &UILogicListener::sglLiveToolInstallProgress, this,
                &kyInstallWizard::sltLiveToolInstallProgress, downloadSignals);
        connect(listener, &UILogicListener::sglLiveToolInstallFinished, this,
                &kyInstallWizard::sltLiveToolInstallFinished, downloadSignals);
    } else {
        qCWarning(lcKyUi) << objectName() << ": no main window listener, the wizard will not follow the work";
    }

    refreshEditionRows();
    if (!resumeOperation(m_editions[0]->name))
        resumeOperation(m_editions[1]->name);
}

void kyInstallWizard::showPage(Page page)
{
    m_widgets.stack->setCurrentWidget(m_widgets.pages[page]);
    // Enter in the folder field goes on to the download. Made the default
    // only here: a dialog shown with a hidden default button would give it
    // the focus.
    m_widgets.nextStep->setDefault(page == PageFolder);
}

void kyInstallWizard::refreshEditionRows()
{
    // Each widget is set once: hiding the install button on the way would
    // move the keyboard focus away from it.
    for (int i = 0; i < 2; ++i) {
        const bool installed = tools()->isToolInstalled(m_editions[i]->name);
        m_widgets.confirmInstall[i]->setVisible(!installed);
        m_widgets.uninstalling[i]->hide();
        m_widgets.testInstalled[i]->setVisible(installed);
        m_widgets.clickReload[i]->show();
        // The install button lies over "点击重装": only an uncovered label
        // is reached by Tab and read out.
        kySetActingLabelReachable(m_widgets.clickReload[i], installed);
    }
}

// Shows the page of a download, uninstall or install of `name` that is still
// under way; false when there is none.
bool kyInstallWizard::resumeOperation(const QString &name)
{
    int progress = downloads()->downloadProgress(name);
    if (progress >= 0) {
        showPage(PageDownload);
    } else if (tools()->isUninstalling(name)) {
        progress = 0;
        showPage(PageInstall);
    } else {
        progress = tools()->installProgress(name);
        if (progress >= 0)
            showPage(PageInstall);
    }
    setProgress(progress);
    if (progress < 0)
        return false;
    m_currentTool = name;
    return true;
}

void kyInstallWizard::setProgress(int progress)
{
    progress = qMax(0, progress);
    m_widgets.downloadBar->setValue(progress);
    m_widgets.installBar->setValue(progress);
}

const ToolFacts &kyInstallWizard::currentEdition() const
{
    return m_currentTool == m_editions[1]->name ? *m_editions[1] : *m_editions[0];
}

QString kyInstallWizard::downloadedInstaller(const ToolFacts &edition) const
{
    // Where the downloader puts it: the same name rule for both.
    return downloadTargetPath(downloadDir(), defaultInstallerUrl(edition.name));
}

void kyInstallWizard::showMessage(const QString &message, bool showCancel)
{
    kyMsgTipWidget tip(message, showCancel, nullptr);
    tip.exec();
}

// The download slots of the OBS wizard run inside the downloader's emission,
// which holds the downloader's lock; a modal message there would run a nested
// event loop under that lock, and anything in it that touches the same
// download (a cancel, a new start under the name) would block for good. So the
// message and the close wait for the event loop.
void kyInstallWizard::showMessageAndClose(const QString &message)
{
    QTimer::singleShot(0, this, [this, message]() {
        showMessage(message, true);
        close();
    });
}

bool kyInstallWizard::warnIfRunning()
{
    if (tools()->toolStatus(m_currentTool) != APP_RUNNING)
        return false;
    showMessage(MSG_TOOL_RUNNING.arg(m_currentTool), false);
    return true;
}

void kyInstallWizard::chooseEdition(int edition, bool fromButton)
{
    const ToolFacts &chosen = *m_editions[edition];
    if (fromButton)
        reportEvent(POINTING_CLICK_INSTALL, QStringLiteral("type"), chosen.code);
    m_currentTool = chosen.name;
    if (warnIfRunning())
        return;
    showPage(PageFolder);
    m_widgets.installPath->setText(installPathOf(m_currentTool));
}

bool kyInstallWizard::eventFilter(QObject *watched, QEvent *event)
{
    // Presses are watched, never consumed: the labels still get them.
    if (event->type() == QEvent::MouseButtonPress) {
        if (watched == m_widgets.clickReload[0])
            chooseEdition(0, false);
        else if (watched == m_widgets.clickReload[1])
            chooseEdition(1, false);
        else if (std::find(std::begin(m_widgets.obsLinks), std::end(m_widgets.obsLinks), watched)
                 != std::end(m_widgets.obsLinks))
            openUrl(obsProjectSiteUrl());
    }
    return QDialog::eventFilter(watched, event);
}

void kyInstallWizard::on_button_close_clicked()
{
    close();
}

void kyInstallWizard::on_button_close_2_clicked()
{
    close();
}

void kyInstallWizard::on_button_close_3_clicked()
{
    // Only the download page's close ends the work under way; everywhere else
    // the download, uninstall or install goes on without the dialog.
    downloads()->cancelDownload(m_currentTool);
    close();
}

void kyInstallWizard::on_button_close_4_clicked()
{
    close();
}

void kyInstallWizard::on_button_close_5_clicked()
{
    close();
}

void kyInstallWizard::on_button_confirmInstall_clicked()
{
    chooseEdition(0, true);
}

void kyInstallWizard::on_button_confirmInstall_2_clicked()
{
    chooseEdition(1, true);
}

void kyInstallWizard::on_button_chosePath_clicked()
{
    const QString folder = pickInstallFolder(this);
    if (!folder.isEmpty())
        m_widgets.installPath->setText(folder);
}

void kyInstallWizard::on_button_return_clicked()
{
    showPage(PageEditions);
    refreshEditionRows();
}

void kyInstallWizard::on_button_nextStep_clicked()
{
    if (warnIfRunning())
        return;
    InstallPathSettings *settings = installPaths();
    if (!settings) {
        qCWarning(lcKyUi) << objectName() << ": no install-path settings to store the folder in";
        return;
    }
    const QString entered = m_widgets.installPath->text();
    const QString dir = chosenInstallDir(entered, settings->installPath(m_currentTool), currentEdition().folder);
    if (!prepareInstallDir(dir)) {
        showMessage(MSG_INSTALL_DIR_MISSING.arg(entered), false);
        return;
    }
    showPage(PageDownload);
    settings->setInstallPath(m_currentTool, dir);
    startInstallerDownload();
}

void kyInstallWizard::on_button_confirm_clicked()
{
    reportEvent(POINTING_CLICK_INSTALL_SUCC, QStringLiteral("type"), toolCode(m_currentTool));
    close();
}

void kyInstallWizard::startInstallerDownload()
{
    const ToolFacts &edition = currentEdition();
    const int result = downloads()->startDownload(m_currentTool, defaultInstallerUrl(edition.name), downloadDir(), false);
    if (result == DOWNLOAD_STARTED) {
        setProgress(0);
    } else if (result == DOWNLOAD_FILE_EXISTS) {
        // The installer is already here: an installed copy goes first, and the
        // installer runs once its uninstaller has finished.
        if (tools()->uninstallTool(m_currentTool)) {
            setProgress(0);
            showPage(PageInstall);
        } else {
            runInstaller(m_currentTool, downloadedInstaller(edition));
        }
    } else {
        showMessage(downloadFailedMessage(downloadDir()), true);
    }
}

void kyInstallWizard::runInstaller(const QString &name, const QString &installer)
{
    // A pending install of the same tool (the main window starts one for
    // every finished download) makes installTool succeed without starting a
    // second installer.
    const ToolFacts *tool = toolFacts(name);
    if (tool && tools()->installTool(name, installer, installPathOf(name), tool->installEstimateMs)) {
        setProgress(0);
        showPage(PageInstall);
    } else {
        showMessageAndClose(MSG_INSTALL_FAILED);
    }
}

void kyInstallWizard::sltLiveToolUnInstallFinished(QString name)
{
    if (name != m_editions[0]->name && name != m_editions[1]->name)
        return;
    runInstaller(m_currentTool, downloadedInstaller(currentEdition()));
}

void kyInstallWizard::sltUpdateDownloadProgress(QString name, int progress)
{
    if (name == m_currentTool)
        setProgress(progress);
}

void kyInstallWizard::sltDownloadFinished(QString name, QString downloadedFile)
{
    if (name != m_currentTool)
        return;
    // An installed copy is removed silently before the new one goes in.
    if (tools()->uninstallTool(m_currentTool)) {
        setProgress(0);
        showPage(PageInstall);
    } else {
        runInstaller(m_currentTool, downloadedFile);
    }
}

void kyInstallWizard::sltDownloadFailed(QString name)
{
    if (name == m_currentTool)
        showMessageAndClose(downloadFailedMessage(downloadDir()));
}

void kyInstallWizard::sltLiveToolInstallProgress(QString name, int progress)
{
    if (name == m_currentTool)
        setProgress(progress);
}

void kyInstallWizard::sltLiveToolInstallFinished(QString name)
{
    // Any finished install ends on the done page, not only the current tool's.
    Q_UNUSED(name)
    showPage(PageDone);
}
