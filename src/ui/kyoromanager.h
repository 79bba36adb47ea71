#pragma once

#include <QWidget>

class InstallPathSettings;
class UILogicListener;
class QLabel;

// The application's single top-level window.
// seam: this placeholder is replaced by the main window with its form, tool
// cards, toolbox page and tray; it already does initLogic's wiring.
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

private:
    UILogicListener *m_listener = nullptr;
    QString m_currentTool;
    int m_currentStatus = 0;
    InstallPathSettings *m_installPathSettings = nullptr;
    QLabel *m_label = nullptr;
};

// The one main window of the process (null before it is built).
kyoroManager *mainWindow();
