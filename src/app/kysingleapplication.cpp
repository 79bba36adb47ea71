#include "app/kysingleapplication.h"

#include "common/kylockfile.h"
#include "common/kypaths.h"
#include "common/kystartuptrace.h"
#include "platform/privatefiles.h"

#include <QDataStream>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QThread>
#include <QWidget>
#include <QWindow>

Q_LOGGING_CATEGORY(lcSingle, "kyoro.singleinstance")

namespace {
// Frames: a 32-bit big-endian length, then UTF-8 text. The answer is kAck.
constexpr quint32 kMaxMessageBytes = 64 * 1024;
const QByteArray kAck = QByteArrayLiteral("ACK");

// The user's private runtime folder, so the lock and the socket are scoped
// to the logged-on user and no other account can plant either.
QString runtimeDir()
{
    return privateRuntimeDir();
}

bool peerIsUs(QLocalSocket &socket, kyplatform::LocalPeer peer)
{
    std::string problem;
    if (kyplatform::localPeerIsCurrentUser(socket.socketDescriptor(), peer, problem))
        return true;
    qCWarning(lcSingle).noquote() << "single instance channel: refusing a peer:" << QString::fromStdString(problem);
    return false;
}
} // namespace

QString KySingleApplication::lockFilePath(const QString &id)
{
    const QString dir = runtimeDir();
    return dir.isEmpty() ? QString() : dir + QLatin1Char('/') + id + QStringLiteral(".lock");
}

QString KySingleApplication::serverName(const QString &id)
{
    const QString dir = runtimeDir();
    return dir.isEmpty() ? QString() : dir + QLatin1Char('/') + id + QStringLiteral(".socket");
}

KySingleApplication::KySingleApplication(const QString &id, int &argc, char **argv)
    : QApplication(argc, argv)
    , m_id(id)
{
    kyStartupMark("application object built");
    const QString lockPath = lockFilePath(id);
    if (lockPath.isEmpty()) {
        // Better one program too many than none: run without the channel.
        qCWarning(lcSingle) << "no private runtime folder: running without the single instance channel";
        return;
    }
    m_lock = std::make_unique<QLockFile>(lockPath);
    // A lock whose owner cannot be shown to be alive is taken over at once.
    if (!tryLockRecovering(*m_lock, lockPath))
        return;

    const QString name = serverName(id);
    QLocalServer::removeServer(name);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &KySingleApplication::onNewConnection);
    if (!m_server->listen(name))
        qWarning().noquote() << "by tq single instance listen failed :" << m_server->errorString();
}

KySingleApplication::~KySingleApplication()
{
    if (m_server)
        m_server->close();
    if (m_lock)
        releaseLock(*m_lock, lockFilePath(m_id));
}

QString KySingleApplication::id() const
{
    return m_id;
}

bool KySingleApplication::isRunning() const
{
    return m_lock && !m_lock->isLocked();
}

bool KySingleApplication::sendMessage(const QString &message, int timeoutMs)
{
    if (!isRunning())
        return false;

    QElapsedTimer clock;
    clock.start();
    auto remaining = [&]() { return qMax(0, timeoutMs - int(clock.elapsed())); };

    QLocalSocket socket;
    // The owner may still be starting and not listen yet: keep trying.
    for (;;) {
        socket.connectToServer(serverName(m_id));
        if (socket.waitForConnected(remaining())) {
            // Nothing goes to a channel another account serves.
            if (!peerIsUs(socket, kyplatform::LocalPeer::Server))
                return false;
            break;
        }
        socket.abort();
        if (remaining() == 0)
            return false;
        QThread::msleep(qMin(50, remaining()));
    }

    const QByteArray payload = message.toUtf8();
    QByteArray frame;
    QDataStream(&frame, QIODevice::WriteOnly) << quint32(payload.size());
    frame += payload;
    socket.write(frame);
    if (!socket.waitForBytesWritten(remaining()))
        return false;

    QByteArray answer;
    while (answer.size() < kAck.size()) {
        if (!socket.bytesAvailable() && !socket.waitForReadyRead(remaining()))
            return false;
        answer += socket.readAll();
    }
    return answer.startsWith(kAck);
}

void KySingleApplication::setActivationWindow(QWidget *window, bool activateOnMessage)
{
    m_activationWindow = window;
    if (activateOnMessage == m_activateOnMessage)
        return;
    m_activateOnMessage = activateOnMessage;
    if (activateOnMessage)
        connect(this, &KySingleApplication::messageReceived, this, &KySingleApplication::activateWindow);
    else
        disconnect(this, &KySingleApplication::messageReceived, this, &KySingleApplication::activateWindow);
}

void KySingleApplication::activateWindow()
{
    QWidget *window = m_activationWindow;
    if (!window)
        return;
    // A window taken off the screen by another program (unmapped, not
    // minimised) still counts as shown here, and show() alone would leave it
    // off the screen: hide it first so that showing puts it back.
    const QWindow *handle = window->windowHandle();
    if (window->isVisible() && !window->isMinimized() && handle && !handle->isExposed())
        window->hide();
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->setWindowState(Qt::WindowActive);
    window->activateWindow();
    window->show();
}

void KySingleApplication::onNewConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        if (!peerIsUs(*socket, kyplatform::LocalPeer::Client)) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket]() { readMessage(socket); });
    }
}

void KySingleApplication::readMessage(QLocalSocket *socket)
{
    if (socket->bytesAvailable() < qint64(sizeof(quint32)))
        return;
    quint32 size = 0;
    {
        const QByteArray head = socket->peek(sizeof(quint32));
        QDataStream(head) >> size;
    }
    if (size > kMaxMessageBytes) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < qint64(sizeof(quint32) + size))
        return;
    socket->read(sizeof(quint32));
    const QString message = QString::fromUtf8(socket->read(size));
    emit messageReceived(message);
    socket->write(kAck);
    socket->flush();
    socket->disconnectFromServer();
}
