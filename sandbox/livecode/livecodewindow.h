#pragma once

#include "rpc/rpc.h"

#include <QStringList>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

// The sandbox login component: signs the streamer in with a simple form and
// reports to the live manager's service what the real component would: the
// push address and live code, a failure to open the live room, and its own
// closing. A script (see runScript) can drive it without any interaction.
class LiveCodeWindow : public QWidget
{
    Q_OBJECT

public:
    explicit LiveCodeWindow(RpcClient client);
    ~LiveCodeWindow() override;

    // The push address of the sandbox platform: its host, "rtmp://HOST/live".
    static QString sandboxRtmpUrl();

    // Steps, separated by ';', run in order, each after the event loop ran:
    //   broadcast[:URL,CODE]  report an address (default: the sandbox's, and
    //                         a code for the account "sandbox"); the code is
    //                         what follows the last ','
    //   room_fail:RES,MSG     report that the live room could not be opened
    //   wait:MS               pause
    //   close                 report closing and quit
    //   exit                  quit without reporting anything
    //   stay                  stop the script and keep running
    // After the last step the program quits without reporting. Returns false
    // for a step it does not know (nothing has run then).
    bool runScript(const QString &script);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void signIn();
    void reportRoomFailure();
    bool reportBroadcast(const QString &url, const QString &code);
    bool reportRoomResult(int res, const QString &msg);
    void reportClose();
    void nextStep();
    void fail(const QString &what);

    RpcClient m_client;
    bool m_closeReported = false;
    bool m_scripted = false;
    QStringList m_steps;
    QLineEdit *m_account;
    QLineEdit *m_password;
    QPushButton *m_signIn;
    QPushButton *m_roomFailure;
    QLabel *m_status;
};
