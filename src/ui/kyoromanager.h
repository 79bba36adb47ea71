#pragma once

#include "ui/kytitlebar.h"
#include "ui/kywindowframe.h"

#include <QSystemTrayIcon>
#include <QWidget>
#include <memory>

namespace Ui {
class kyoroManagerClass;
}

class FramelessHelper;
class KyDeferredPictures;
class InstallPathSettings;
class QMenu;
class UILogicListener;
class kyUpdatePrompter;

// The application's single top-level window: a frameless, translucent,
// drop-shadowed window with its own title bar, a live page with one tool card
// per tool family and a toolbox page. It lives in the tray: closing only
// hides it, the tray menu's "退出" ends the program. It holds no tool logic:
// status, downloads, installs and launches go through the logic hub, and its
// news arrives as signals of the hub's listener.
//
// The class is split by feature: kyoromanager.cpp (construction, pages,
// painting), kyoromanager_toolcard.cpp (tool choice, status, download, install,
// open, live setting), kyoromanager_toolbox.cpp (help and toolbox page) and
// kyoromanager_tray.cpp (tray and quitting).
class kyoroManager : public QWidget
{
    Q_OBJECT

public:
    explicit kyoroManager(QWidget *parent = nullptr);
    ~kyoroManager() override;

    // Creates the settings object, initialises the hub, registers the listener,
    // connects its signals and shows the first tool's state. Called once,
    // after construction and before show().
    void initLogic();

    InstallPathSettings *installPathSettings() const;
    UILogicListener *logicListener() const;
    // VURuv's own updates; null until the window has been painted.
    kyUpdatePrompter *updatePrompter() const { return m_updatePrompter; }

public slots:
    // Ends the program the way the tray's "退出" does: "endup_quit", then the
    // window closes and the event loop ends 100 ms later.
    void quitProgram();

signals:
    void sglLiveToolSwitched();

private slots:
    void slt_Openpage(pageType type);
    void sltRadioClicked();
    void on_button_KyoroLive_clicked();
    void on_button_OBSLive_clicked();
    void on_button_Service_little_clicked();
    void on_button_Service_little_2_clicked();
    void on_button_useTutorial_clicked();
    void on_button_useTutorial_2_clicked();
    void on_button_install_kyoro_clicked();
    void on_button_install_OBS_clicked();
    void on_button_open_kyoro_clicked();
    void on_button_open_OBS_clicked();
    void on_button_liveset_clicked();
    void on_button_cancelDownload_clicked();
    void on_button_cancelDownload_2_clicked();
    void on_button_openFolder_clicked();
    void on_button_getPushcode_clicked();
    void on_button_installOBS_clicked();
    void on_button_installKyoroLive_clicked();
    void on_button_Service_clicked();
    void on_button_commonProblem_clicked();
    void onTrayIconActivated(QSystemTrayIcon::ActivationReason reason);
    void onPopupMenu(QAction *action);
    void sltUpdateDownloadProgress(QString name, int progress);
    void sltDownloadFinished(QString name, QString downloadedFile);
    void sltDownloadFailed(QString name);
    void sltUpdateAppStatus(QString name, int status);
    void sltLiveToolInstallProgress(QString name, int progress);
    void sltLiveToolInstallFinished(QString name);
    void sltLiveToolSwitched();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void initForm();
    void attachToolboxPage();
    void initTray();
    void showTray();
    void updateToolTexts(const QString &name);
    void nameCardButtons(const QString &name);
    void keepFocusOnCardAction(QWidget *focused);
    void refreshToolState();
    void showProgress(int progress, bool isDownload);
    void startToolDownload();
    void installDownloadedTool(const QString &name, const QString &file);
    void openCurrentTool(bool kyoroCard);
    void runInstallButton(bool kyoroCard);
    void showMessage(const QString &message);

    std::unique_ptr<Ui::kyoroManagerClass> ui;
    // The toolbox page until the window is first shown.
    std::unique_ptr<QWidget> m_toolboxPage;
    FramelessHelper *m_frameless = nullptr;
    KyDeferredPictures *m_deferredPictures = nullptr;
    QSystemTrayIcon *m_trayIcon = nullptr;
    QMenu *m_trayMenu = nullptr;
    UILogicListener *m_listener = nullptr;
    QString m_currentTool;
    int m_currentStatus = 0;
    InstallPathSettings *m_installPathSettings = nullptr;
    bool m_quitting = false;
    bool m_painted = false;
    KyWindowFrame m_frame;
    // The toolbox page's widgets wait to be polished until it is shown.
    bool m_holdToolboxPolish = false;
    kyUpdatePrompter *m_updatePrompter = nullptr;
};

// The one main window of the process (null before it is built).
kyoroManager *mainWindow();
