#pragma once

#include "logic/kytoolfacts.h"

#include <QDialog>
#include <QList>
#include <QString>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;

// The widgets of a wizard form that the shared behaviour drives. Both wizard
// forms use the same object names; wizardWidgets() collects them from either.
struct WizardWidgets
{
    QStackedWidget *stack = nullptr;
    QWidget *pages[5] = {};   // editions, folder, download, install, done
    QWidget *headers[5] = {}; // each page's header strip
    QPushButton *closeButtons[5] = {};
    QLabel *logos[5] = {};
    QPushButton *confirmInstall[2] = {};
    QLabel *clickReload[2] = {};
    QLabel *testInstalled[2] = {};
    QLabel *uninstalling[2] = {};
    QLineEdit *installPath = nullptr;
    QPushButton *nextStep = nullptr;
    QProgressBar *downloadBar = nullptr;
    QProgressBar *installBar = nullptr;
    QLabel *obsLinks[5] = {}; // the OBS wizard's link to the project's site, per header
};

template<typename Form>
WizardWidgets wizardWidgets(Form &ui)
{
    WizardWidgets w;
    w.stack = ui.stackedWidget;
    w.pages[0] = ui.page;
    w.pages[1] = ui.page_2;
    w.pages[2] = ui.page_3;
    w.pages[3] = ui.page_4;
    w.pages[4] = ui.page_5;
    w.headers[0] = ui.widget;
    w.headers[1] = ui.widget_2;
    w.headers[2] = ui.widget_3;
    w.headers[3] = ui.widget_4;
    w.headers[4] = ui.widget_5;
    w.closeButtons[0] = ui.button_close;
    w.closeButtons[1] = ui.button_close_2;
    w.closeButtons[2] = ui.button_close_3;
    w.closeButtons[3] = ui.button_close_4;
    w.closeButtons[4] = ui.button_close_5;
    w.logos[0] = ui.label_logo;
    w.logos[1] = ui.label_logo_2;
    w.logos[2] = ui.label_logo_3;
    w.logos[3] = ui.label_logo_4;
    w.logos[4] = ui.label_logo_5;
    w.confirmInstall[0] = ui.button_confirmInstall;
    w.confirmInstall[1] = ui.button_confirmInstall_2;
    w.clickReload[0] = ui.label_clickReload;
    w.clickReload[1] = ui.label_clickReload_2;
    w.testInstalled[0] = ui.label_testInstalled;
    w.testInstalled[1] = ui.label_testInstalled_2;
    w.uninstalling[0] = ui.label_uninstalling;
    w.uninstalling[1] = ui.label_uninstalling_2;
    w.installPath = ui.ledit_installPath;
    w.nextStep = ui.button_nextStep;
    w.downloadBar = ui.progressBar_download;
    w.installBar = ui.progressBar_installing;
    return w;
}

// The behaviour shared by the two install wizards (the platform's tool and
// OBS): pick one of two editions, pick a folder, download the installer,
// remove an installed copy silently, run the installer, done. Everything runs
// through the logic core, so closing the wizard ends only the dialog; a
// wizard opened later picks up the page of the work still under way.
//
// The form's buttons are bound by name to the slots below, so a subclass's
// form must carry every one of those buttons.
class kyInstallWizard : public QDialog
{
    Q_OBJECT

public:
    ~kyInstallWizard() override;

    // The tool the wizard works on.
    QString currentTool() const { return m_currentTool; }

protected:
    // The two editions are the family's tools, in the tool table's order.
    kyInstallWizard(ToolFamily family, QWidget *parent);

    // Called by the subclass once its form is built: flags, style, header
    // backgrounds, label filters, listener connections, edition rows and the
    // page of any work under way. `downloadSignals` is the connection type of
    // the listener's download and install signals; the uninstall signal is
    // always queued.
    void initWizard(const WizardWidgets &widgets, const QString &styleSheet, Qt::ConnectionType downloadSignals);

    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void on_button_close_clicked();
    void on_button_close_2_clicked();
    void on_button_close_3_clicked();
    void on_button_close_4_clicked();
    void on_button_close_5_clicked();
    void on_button_confirmInstall_clicked();
    void on_button_confirmInstall_2_clicked();
    void on_button_chosePath_clicked();
    void on_button_return_clicked();
    void on_button_nextStep_clicked();
    void on_button_confirm_clicked();
    void sltLiveToolUnInstallFinished(QString name);
    void sltUpdateDownloadProgress(QString name, int progress);
    void sltDownloadFinished(QString name, QString downloadedFile);
    void sltDownloadFailed(QString name);
    void sltLiveToolInstallProgress(QString name, int progress);
    void sltLiveToolInstallFinished(QString name);

private:
    enum Page { PageEditions, PageFolder, PageDownload, PageInstall, PageDone };

    void showPage(Page page);
    void refreshEditionRows();
    bool resumeOperation(const QString &name);
    void setProgress(int progress);
    void chooseEdition(int edition, bool fromButton);
    bool warnIfRunning();
    void startInstallerDownload();
    void runInstaller(const QString &name, const QString &installer);
    const ToolFacts &currentEdition() const;
    QString downloadedInstaller(const ToolFacts &edition) const;
    void showMessage(const QString &message, bool showCancel);
    void showMessageAndClose(const QString &message);

    QList<const ToolFacts *> m_editions; // first row, second row
    WizardWidgets m_widgets;
    QString m_currentTool;
};
