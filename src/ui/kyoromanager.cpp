#include "ui/kyoromanager.h"

#include "common/installpathsettings.h"
#include "common/kyconstants.h"
#include "logic/kylogicfw.h"
#include "logic/uilogiclistener.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace {
kyoroManager *s_mainWindow = nullptr;
}

kyoroManager *mainWindow()
{
    return s_mainWindow;
}

kyoroManager::kyoroManager(QWidget *parent)
    : QWidget(parent)
{
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    setWindowTitle(QStringLiteral("Kyoro直播管家"));
    resize(942, 622);
    auto *layout = new QVBoxLayout(this);
    m_label = new QLabel(QStringLiteral("Kyoro直播管家"), this);
    m_label->setAlignment(Qt::AlignCenter);
    layout->addWidget(m_label);
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

void kyoroManager::closeEvent(QCloseEvent *event)
{
    // The placeholder has no tray to return from, so closing ends the program.
    event->accept();
    QApplication::quit();
}
