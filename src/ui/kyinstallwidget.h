#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class kyInstallWidget;
}

// Asks for the install folder of one streaming tool, chosen by a mode: the
// tool's row in the tool table (0 Kyoro classic, 1 Kyoro show, 2 OBS Classic,
// 3 OBS Studio). Set the mode, then exec(); the dialog is accepted once the
// folder has been stored in the main window's install-path settings.
class kyInstallWidget : public QDialog
{
    Q_OBJECT

public:
    explicit kyInstallWidget(QWidget *parent = nullptr);
    ~kyInstallWidget() override;

    void setMode(int mode);
    int mode() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void on_button_close_clicked();
    void on_button_chosePath_clicked();
    void on_button_confirmInstall_clicked();

private:
    std::unique_ptr<Ui::kyInstallWidget> ui;
    int m_mode = 0;
};

// The mode of the folder dialog for a tool; -1 for a name that is no tool.
int installFolderMode(const QString &tool);

// The folder a tool is installed into, from the text the user left in the
// folder field: backslashes become slashes and trailing separators go; a
// folder other than the stored one gets the tool's sub-folder appended, so
// keeping the proposed folder installs into it unchanged. An empty entry
// gives "", which prepareInstallDir refuses.
QString chosenInstallDir(const QString &entered, const QString &stored, const QString &subFolder);

// Makes sure the install folder exists. An existing folder is fine; a
// missing absolute one (on a drive, "X:" or "X:\...", or rooted at "/") is
// created with its parents; anything else is refused.
bool prepareInstallDir(const QString &path);

// Asks the user for an existing folder, "" when cancelled.
QString pickInstallFolder(QWidget *parent);
