#pragma once

#include <QDialog>
#include <QMutex>
#include <QString>

#include <memory>

namespace Ui {
class kyLiveAddressSet;
}

// The live address dialog: gets the RTMP push address and live code of the
// streamer's channel, either from the login component ("获取") or typed in,
// writes them into the configuration of the tool named at construction (OBS
// Classic or OBS Studio; other tools get nothing written) and ends Accepted.
//
// While the component runs (Waiting) the dialog stays open but disabled,
// transparent and fixed in place; a 200 ms poll brings editing back when the
// component has gone without reporting. The component's reports arrive
// through the main window's listener on the GUI thread.
//
// An address the tool's configuration refuses is not taken as success: the
// user is told and the dialog stays open for editing. A component that still
// cannot be launched after two download-and-install rounds in a row ends the
// rounds with the failure dialog.
class kyLiveAddressSet : public QDialog
{
    Q_OBJECT

public:
    kyLiveAddressSet(QString toolName, QWidget *parent = nullptr);
    ~kyLiveAddressSet() override;

signals:
    void sglShowFiledDialog();

private slots:
    void on_button_close_clicked();
    void on_button_get_clicked();
    void sltTextEditChanged(QString str);
    void sltBroadcastMsg(QString url, QString code);
    void sltOpenLiveRoomResult(int res, QString msg);
    void sltLiveCodeModuleClose();
    void on_button_confirm_clicked();
    void on_button_cancel_clicked();
    void sltShowFiledDialog();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    void setInteractive(bool on);
    void tryLaunch();
    void startPolling();
    enum class Round { Installed, Failed, Stopped };
    // Downloads and installs the component behind the loading dialog:
    // Installed, Failed (downloaded but not installed) or Stopped (the
    // download did not start, or the user closed the loading dialog).
    Round downloadAndInstall();
    // Writes the address and code with the writer of the dialog's tool (true
    // for a tool that takes none); on a refusal tells the user and returns
    // false.
    bool writePushCode(const QString &url, const QString &code);
    // Called with the lock held.
    void stopPolling();
    // Whether a report of the component this dialog started is taken: while
    // it runs, and after it ended until the check queued behind its reports.
    // Called with the lock held.
    bool isListening() const;
    // Editing comes back: the component ended without a report.
    void componentGone();

    std::unique_ptr<Ui::kyLiveAddressSet> ui;
    QString m_toolName;
    QString m_url;
    QString m_code;
    // Guards m_url, m_code, m_pollTimerId and m_goneCheckQueued. Not
    // recursive: no slot that holds it runs a modal dialog or calls back into
    // another locking slot.
    QMutex m_lock;
    int m_pollTimerId = -1;
    bool m_goneCheckQueued = false;
};
