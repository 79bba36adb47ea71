#pragma once

#include <QApplication>
#include <QLockFile>
#include <QPointer>
#include <memory>

class QLocalServer;
class QLocalSocket;

// The application object of a program that runs once per user. The first
// instance takes a lock file and listens on a local socket in the user's
// private runtime folder (privateRuntimeDir: reachable by the user only); a
// later instance finds the lock taken, sends its message over the socket and
// waits for the acknowledgement. Each end checks that the other runs as the
// same account. A lock or socket left by a crashed instance, and a lock file
// whose owner cannot be shown to be alive, are recovered (logged): only the
// lock owner removes a stale socket and listens. Without a private runtime
// folder the program runs alone, without the channel.
class KySingleApplication : public QApplication
{
    Q_OBJECT

public:
    KySingleApplication(const QString &id, int &argc, char **argv);
    ~KySingleApplication() override;

    QString id() const;
    // True when another instance holds the id.
    bool isRunning() const;
    // Sends `message` to the running instance; true when it acknowledged
    // within `timeoutMs`.
    bool sendMessage(const QString &message, int timeoutMs);

    void setActivationWindow(QWidget *window, bool activateOnMessage = true);

    // Paths used for the id: the lock file and the socket ("" without a
    // private runtime folder).
    static QString lockFilePath(const QString &id);
    static QString serverName(const QString &id);

signals:
    void messageReceived(const QString &message);

public slots:
    // Brings the activation window back: un-minimised, raised, state exactly
    // Qt::WindowActive, activated and shown (which also undoes a hide to the
    // tray, or another program taking the window off the screen).
    void activateWindow();

private slots:
    void onNewConnection();

private:
    void readMessage(QLocalSocket *socket);

    QString m_id;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
    QPointer<QWidget> m_activationWindow;
    bool m_activateOnMessage = false;
};
