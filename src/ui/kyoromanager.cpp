#include "ui/kyoromanager.h"
#include "ui_kyoromanager.h"

#include "common/installpathsettings.h"
#include "common/kyconstants.h"
#include "common/kypaths.h"
#include "common/kytexts.h"
#include "logic/kylogicfw.h"
#include "logic/uilogiclistener.h"
#include "ui/framelesshelper.h"

#include <QApplication>
#include <QCloseEvent>

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
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);

    // Moved by the title area (the bar ends at y = 131 inside the 11 px
    // shadow margin), never resized.
    m_framelessHelper = new FramelessHelper(this);
    m_framelessHelper->attachWidget(this);
    m_framelessHelper->setCaptionHeight(130);
    m_framelessHelper->setMovable(true);
    m_framelessHelper->setResizable(false);

    setStyleSheet(readTextFile(QSS_MAIN));
    slt_Openpage(PAGE_LIVE);

    connect(ui->TitleBar, SIGNAL(slg_Openpage(pageType)), this, SLOT(slt_Openpage(pageType)));
    s_mainWindow = this;
}

kyoroManager::~kyoroManager()
{
    // Listener first, then the settings, whose destruction saves them.
    KyLogicFW::instance()->setListener(nullptr);
    delete m_listener;
    delete m_installPathSettings;
    if (s_mainWindow == this)
        s_mainWindow = nullptr;
}

void kyoroManager::initLogic()
{
    m_currentTool = TOOL_NAME_KYTOOL;
    m_installPathSettings = new InstallPathSettings;
    KyLogicFW::instance()->initialize();
    m_listener = new UILogicListener;
    KyLogicFW::instance()->setListener(m_listener);
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
    else if (type == PAGE_TOOLBOX)
        ui->stackedWidget->setCurrentWidget(ui->page_toolbox);
}

void kyoroManager::closeEvent(QCloseEvent *event)
{
    // The placeholder has no tray to return from, so closing ends the program.
    event->accept();
    QApplication::quit();
}
