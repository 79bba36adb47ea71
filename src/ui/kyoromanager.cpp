#include "ui/kyoromanager.h"
#include "ui_kyoromanager.h"

#include "common/kyconstants.h"
#include "common/kypaths.h"
#include "common/kystartuptrace.h"
#include "common/kytexts.h"
#include "logic/installpathsettings.h"
#include "logic/kylivetoolsmanager.h"
#include "logic/kylogicfw.h"
#include "logic/kytoolfacts.h"
#include "logic/uilogiclistener.h"
#include "telemetry/kyoropointing.h"
#include "ui/framelesshelper.h"
#include "ui/kyaccessibility.h"
#include "ui/kydeferredpictures.h"
#include "ui/kywindowplacement.h"

#include <QPainter>
#include <QStyleOption>
#include <QTimer>

namespace {
kyoroManager *s_mainWindow = nullptr;
}

kyoroManager *mainWindow()
{
    return s_mainWindow;
}

kyoroManager::kyoroManager(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::kyoroManagerClass>())
{
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    setAttribute(Qt::WA_TranslucentBackground);
    ui->setupUi(this);
    // The toolbox page is built with the form, so that its buttons' slots
    // connect by name, but polished only when it is first shown: Qt's style
    // sheets decode every picture a widget's rules name when they polish it,
    // and the page's twelve pictures are the largest of the window. A widget
    // is polished with its window, shown or not, and by the polish request
    // it posts itself when it is made: the page stays out of the window
    // until the window has been polished for its first showing (showEvent),
    // and its widgets' polish requests are held back until it is shown.
    m_toolboxPage.reset(ui->page_toolbox);
    ui->stackedWidget->removeWidget(ui->page_toolbox);
    ui->page_toolbox->setParent(nullptr);
    ui->page_toolbox->installEventFilter(this);
    for (QWidget *widget : ui->page_toolbox->findChildren<QWidget *>())
        widget->installEventFilter(this);
    m_holdToolboxPolish = true;
    kyStartupMark("window: form built");

    m_frameless = new FramelessHelper(this);
    m_frameless->attachWidget(this);
    m_frameless->setCaptionHeight(130);
    m_frameless->setMovable(true);
    m_frameless->setResizable(false);

    initForm();
    kyStartupMark("window: form initialised");
    // Set once the form is built and its cards chosen: the sheet then styles
    // the widgets in one pass instead of at each widget's creation, and the
    // pictures of states and of widgets not shown yet wait for their use.
    m_deferredPictures = new KyDeferredPictures(readTextFile(QSS_MAIN), this, {ui->page_toolbox}, this);
    setStyleSheet(m_deferredPictures->windowSheet());
    m_deferredPictures->watch();
    kyStartupMark("window: style sheet set");
    initTray();
    kyStartupMark("window: tray built");
    connect(ui->TitleBar, SIGNAL(slg_Openpage(pageType)), this, SLOT(slt_Openpage(pageType)));
    // The window is larger than some screens once scaled: it opens where its
    // title bar can be seen.
    kyPlaceInAvailableArea(this);

    s_mainWindow = this;
    reportEvent(POINTING_INIT_PAGE_HOME);
}

kyoroManager::~kyoroManager()
{
    // The listener goes first; the settings object saves the install folders
    // when it is deleted.
    if (m_listener)
        KyLogicFW::instance()->setListener(nullptr);
    delete m_listener;
    m_listener = nullptr;
    delete m_installPathSettings;
    m_installPathSettings = nullptr;
    if (s_mainWindow == this)
        s_mainWindow = nullptr;
}

void kyoroManager::initForm()
{
    QPalette columnPalette = ui->widget_2->palette();
    columnPalette.setColor(QPalette::Window, QColor(0xdb, 0xdb, 0xe1));
    ui->widget_2->setAutoFillBackground(true);
    ui->widget_2->setPalette(columnPalette);

    slt_Openpage(PAGE_LIVE);
    ui->button_KyoroLive->setCheckable(true);
    ui->button_OBSLive->setCheckable(true);
    ui->button_KyoroLive->setChecked(true);
    ui->stackedWidget_2->setCurrentWidget(ui->page_kyoroPage);
    ui->label_visitOBSurl->installEventFilter(this);
    kyMakeActingLabel(ui->label_visitOBSurl);

    ui->radio_kyTool->setChecked(true);
    ui->radio_classic->setChecked(true);
    updateToolTexts(TOOL_NAME_KYTOOL);
    updateToolTexts(TOOL_NAME_OBS_CLASSIC);

    for (QRadioButton *radio : {ui->radio_kyTool, ui->radio_kyShow, ui->radio_classic, ui->radio_studio})
        connect(radio, SIGNAL(clicked()), this, SLOT(sltRadioClicked()));

    ui->progressBar_main->setValue(0);
    ui->progressBar_OBS->setValue(0);
    // Nothing runs before the logic exists: every progress widget starts hidden.
    for (QWidget *widget : {static_cast<QWidget *>(ui->progressBar_main), static_cast<QWidget *>(ui->button_cancelDownload),
                            static_cast<QWidget *>(ui->label_progressValue), static_cast<QWidget *>(ui->progressBar_OBS),
                            static_cast<QWidget *>(ui->button_cancelDownload_2), static_cast<QWidget *>(ui->label_progressValue_2)})
        widget->hide();
    refreshToolState();
}

void kyoroManager::initLogic()
{
    m_currentTool = TOOL_NAME_KYTOOL;
    m_installPathSettings = new InstallPathSettings;
    KyLogicFW::instance()->initialize();
    kyStartupMark("logic: hub initialised");
    m_listener = new UILogicListener;
    KyLogicFW::instance()->setListener(m_listener);

    connect(m_listener, &UILogicListener::sglUpdateAppStatus, this, &kyoroManager::sltUpdateAppStatus);
    connect(m_listener, &UILogicListener::sglUpdateDownloadProgress, this, &kyoroManager::sltUpdateDownloadProgress);
    connect(m_listener, &UILogicListener::sglDownloadFinished, this, &kyoroManager::sltDownloadFinished);
    connect(m_listener, &UILogicListener::sglDownloadFailed, this, &kyoroManager::sltDownloadFailed);
    connect(m_listener, &UILogicListener::sglLiveToolInstallProgress, this, &kyoroManager::sltLiveToolInstallProgress,
            Qt::QueuedConnection);
    connect(m_listener, &UILogicListener::sglLiveToolInstallFinished, this, &kyoroManager::sltLiveToolInstallFinished,
            Qt::QueuedConnection);
    connect(this, &kyoroManager::sglLiveToolSwitched, this, &kyoroManager::sltLiveToolSwitched, Qt::QueuedConnection);

    m_currentStatus = KyLogicFW::instance()->liveToolsManager()->toolStatus(m_currentTool);
    refreshToolState();
}

InstallPathSettings *kyoroManager::installPathSettings() const
{
    return m_installPathSettings;
}

UILogicListener *kyoroManager::logicListener() const
{
    return m_listener;
}

void kyoroManager::slt_Openpage(pageType type)
{
    if (type == PAGE_LIVE)
        ui->stackedWidget->setCurrentWidget(ui->page_live);
    else if (type == PAGE_TOOLBOX) {
        attachToolboxPage();
        if (m_holdToolboxPolish) {
            m_holdToolboxPolish = false;
            ui->page_toolbox->removeEventFilter(this);
            for (QWidget *widget : ui->page_toolbox->findChildren<QWidget *>())
                widget->removeEventFilter(this);
        }
        ui->stackedWidget->setCurrentWidget(ui->page_toolbox);
    }
    if (!m_currentTool.isEmpty())
        emit sglLiveToolSwitched();
}

void kyoroManager::attachToolboxPage()
{
    if (m_toolboxPage)
        ui->stackedWidget->addWidget(m_toolboxPage.release());
}

void kyoroManager::showEvent(QShowEvent *event)
{
    // The window and what it holds have just been polished; the page joins
    // them hidden and unpolished, there for screen readers and the focus
    // chain as before.
    attachToolboxPage();
    QWidget::showEvent(event);
}

void kyoroManager::paintEvent(QPaintEvent *event)
{
    if (!m_painted) {
        m_painted = true;
        kyStartupMark("first paint starts");
        // Queued: the tray icon appears once this first paint is on screen.
        QTimer::singleShot(0, this, [this]() {
            kyStartupMark("first paint on screen");
            showTray();
            kyStartupMark("tray icon shown");
        });
    }
    QPainter painter(this);
    // Style-sheet backgrounds apply to this plain widget only when drawn here.
    QStyleOption option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);

    // The frame line, the body and the shadow in the 10 px margin.
    m_frame.paint(painter, size(), devicePixelRatioF());
    QWidget::paintEvent(event);
}
