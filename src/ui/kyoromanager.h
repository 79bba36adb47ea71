#pragma once

#include "ui/kytitlebar.h"

#include <QWidget>

#include <memory>

namespace Ui {
class kyoroManagerClass;
}
class FramelessHelper;
class InstallPathSettings;
class UILogicListener;

// The application's single top-level window.
// seam: the tool cards, toolbox actions, tray, painted frame and shadow are
// added by the main-window work; this one already has the full form, the
// frameless move, the title bar's page switch and initLogic's wiring.
class kyoroManager : public QWidget
{
    Q_OBJECT

public:
    explicit kyoroManager(QWidget *parent = nullptr);
    ~kyoroManager() override;

    // Creates the settings object, initialises the hub and registers the
    // listener. Called once, after construction and before show().
    void initLogic();

    InstallPathSettings *installPathSettings() const;
    UILogicListener *logicListener() const;

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void slt_Openpage(pageType type);

private:
    std::unique_ptr<Ui::kyoroManagerClass> ui;
    FramelessHelper *m_framelessHelper = nullptr;
    UILogicListener *m_listener = nullptr;
    QString m_currentTool;
    int m_currentStatus = 0;
    InstallPathSettings *m_installPathSettings = nullptr;
};

// The one main window of the process (null before it is built).
kyoroManager *mainWindow();
