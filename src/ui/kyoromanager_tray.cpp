// The tray icon with its menu, and how the window closes and the program ends.
#include "ui/kyoromanager.h"

#include "common/kyconstants.h"
#include "common/kytexts.h"
#include "telemetry/kyoropointing.h"
#include "ui/kyupdateprompter.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QTimer>

void kyoroManager::initTray()
{
    m_trayIcon = new QSystemTrayIcon(this);
    m_trayIcon->setIcon(QIcon(RES_TRAY_ICON));
    m_trayIcon->setToolTip(TRAY_TOOL_TIP);
    m_trayMenu = new QMenu(this);
    m_trayMenu->setMinimumWidth(100);
    m_trayMenu->addAction(TRAY_CHECK_UPDATE);
    m_trayMenu->addAction(QIcon(RES_TRAY_QUIT), TRAY_QUIT);
    m_trayIcon->setContextMenu(m_trayMenu);
    connect(m_trayMenu, &QMenu::triggered, this, &kyoroManager::onPopupMenu);
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &kyoroManager::onTrayIconActivated);
    // Shown once the window has been painted (paintEvent): adding an icon to
    // the tray is a round trip to the shell that the first paint need not
    // wait for.
}

void kyoroManager::showTray()
{
    if (m_trayIcon && !m_trayIcon->isVisible())
        m_trayIcon->show();
    // The updater starts once the window has been painted: its first check
    // comes some seconds later still.
    if (!m_updatePrompter && m_listener) {
        m_updatePrompter = new kyUpdatePrompter(this, m_listener);
        m_updatePrompter->start();
    }
}

void kyoroManager::onTrayIconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason != QSystemTrayIcon::Trigger)
        return;
    setWindowState(Qt::WindowActive);
    activateWindow();
    show();
}

void kyoroManager::onPopupMenu(QAction *action)
{
    if (!action)
        return;
    if (action->text() == TRAY_CHECK_UPDATE && m_updatePrompter)
        m_updatePrompter->checkNow();
    // An update offered or handed to the setup first, then the quit.
    if (action->text() == TRAY_QUIT && !(m_updatePrompter && m_updatePrompter->quitRequested()))
        quitProgram();
}

void kyoroManager::quitProgram()
{
    if (m_quitting)
        return;
    m_quitting = true;
    reportEvent(POINTING_ENDUP_QUIT, QStringLiteral("type"), 1);
    // The delay lets the quit event leave before the program ends.
    QTimer::singleShot(100, this, [this]() {
        close();
        QApplication::quit();
    });
}

void kyoroManager::closeEvent(QCloseEvent *event)
{
    if (m_quitting) {
        event->accept();
        return;
    }
    event->ignore();
    // The window only hides if it can come back from the tray.
    showTray();
    // Without a tray a hidden window could never come back nor be quit:
    // there, closing ends the program the way "退出" does.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        quitProgram();
        return;
    }
    hide();
}
