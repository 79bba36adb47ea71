// The service side: an instance with its procedures, the thread that serves
// it, and the completion of calls from any thread.

#include "rpc/rpc.h"
#include "rpc/rpcwire.h"

#include "common/kylockfile.h"
#include "common/kypaths.h"
#include "common/kylogthrottle.h"
#include "platform/privatefiles.h"

#include <QElapsedTimer>
#include <QHash>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QMutex>
#include <QMutexLocker>
#include <QSemaphore>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <map>

using kyrpc::FrameReader;
using kyrpc::RpcValue;

namespace {

// When every place is taken, a new client takes the place of the connection
// that has been idle longest (see ServiceHost::idlest).
constexpr int kMaxConnections = 64;
// A greeting or a started frame must be complete within this time.
constexpr int kStallMs = 5000;
constexpr int kSweepMs = 1000;

// Warnings a misbehaving client can cause again and again.
KyLogThrottle &warningThrottle()
{
    static KyLogThrottle throttle;
    return throttle;
}

struct Procedure
{
    RpcProcedureHandler handler;
    QByteArray signature;
};

class ServiceHost;

} // namespace

struct RpcInstanceData
{
    RpcServiceDesc desc{};
    void *context = nullptr;

    // Guards procedures and host; taken after the token lock, never before.
    QMutex mutex;
    QHash<QByteArray, Procedure> procedures;
    ServiceHost *host = nullptr;

    QString name;
    std::unique_ptr<QLockFile> lock;
    QString lockPath;
    std::unique_ptr<QThread> thread;
};

namespace {

// Calls waiting for RpcCompleteAsyncProcedure, by token, across instances.
struct PendingCall
{
    RpcInstanceData *instance = nullptr;
    quint64 connection = 0;
    quint32 callId = 0;
};

QMutex &tokenMutex()
{
    static QMutex mutex;
    return mutex;
}

QHash<RpcAsyncToken, PendingCall> &pendingCalls()
{
    static QHash<RpcAsyncToken, PendingCall> calls;
    return calls;
}

RpcAsyncToken addPendingCall(RpcInstanceData *instance, quint64 connection, quint32 callId)
{
    static RpcAsyncToken next = 0;
    QMutexLocker locker(&tokenMutex());
    const RpcAsyncToken token = ++next;
    pendingCalls().insert(token, PendingCall{instance, connection, callId});
    return token;
}

// Forgets the calls of one connection (connection 0: of the whole instance).
void dropPendingCalls(RpcInstanceData *instance, quint64 connection)
{
    QMutexLocker locker(&tokenMutex());
    auto &calls = pendingCalls();
    for (auto it = calls.begin(); it != calls.end();) {
        if (it->instance == instance && (connection == 0 || it->connection == connection))
            it = calls.erase(it);
        else
            ++it;
    }
}

// Connections of `instance` with a call its handler has not completed yet.
QSet<quint64> connectionsWithPendingCalls(RpcInstanceData *instance)
{
    QSet<quint64> connections;
    QMutexLocker locker(&tokenMutex());
    for (const PendingCall &call : qAsConst(pendingCalls())) {
        if (call.instance == instance)
            connections.insert(call.connection);
    }
    return connections;
}

bool signatureIsValid(const QByteArray &signature)
{
    for (char letter : signature) {
        if (letter != 'I' && letter != 'S' && letter != 'O')
            return false;
    }
    return true;
}

bool matchesSignature(const std::vector<std::unique_ptr<RpcValue>> &args, const QByteArray &signature)
{
    if (int(args.size()) != signature.size())
        return false;
    for (size_t i = 0; i < args.size(); ++i) {
        const RpcValue::Type expected = signature[int(i)] == 'I' ? RpcValue::Int
            : signature[int(i)] == 'S'                          ? RpcValue::String
                                                                : RpcValue::List;
        if (args[i]->type() != expected)
            return false;
    }
    return true;
}

// Lives on the service thread: accepts connections, reads frames, calls the
// handlers and writes completions.
class ServiceHost : public QObject
{
public:
    explicit ServiceHost(RpcInstanceData *instance)
        : m_instance(instance)
    {
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        connect(&m_server, &QLocalServer::newConnection, this, &ServiceHost::acceptConnections);
        m_sweep.setInterval(kSweepMs);
        connect(&m_sweep, &QTimer::timeout, this, &ServiceHost::sweep);
    }

    ~ServiceHost() override
    {
        // Shutting down: no callbacks any more, every connection just ends.
        for (auto &entry : m_connections) {
            entry.second->socket->disconnect(this);
            entry.second->socket->abort();
            delete entry.second->socket;
        }
        m_connections.clear();
        m_server.close();
    }

    bool listen(const QString &path)
    {
        // The caller holds the name's lock file, so a socket already at this
        // path was left behind by a process that is gone.
        QLocalServer::removeServer(path);
        if (!m_server.listen(path)) {
            qCWarning(lcRpc).noquote() << "cannot listen on" << path << ":" << m_server.errorString();
            return false;
        }
        m_sweep.start();
        return true;
    }

    void complete(quint64 connectionId, quint32 callId)
    {
        Connection *connection = find(connectionId);
        if (!connection || connection->socket->state() != QLocalSocket::ConnectedState)
            return;
        QByteArray payload;
        kyrpc::writeU8(payload, kyrpc::KindDone);
        kyrpc::writeU32(payload, callId);
        connection->socket->write(kyrpc::frame(payload));
        // Released before the handler goes on with whatever it does next.
        connection->socket->flush();
    }

private:
    struct Connection
    {
        quint64 id = 0;
        QLocalSocket *socket = nullptr;
        FrameReader reader;
        bool greeted = false;
        QElapsedTimer since; // since accepted, then since a frame started
        bool timing = true;
        bool madeCall = false;
        QElapsedTimer idle; // since the last bytes arrived
    };

    Connection *find(quint64 id)
    {
        auto it = m_connections.find(id);
        return it == m_connections.end() ? nullptr : it->second.get();
    }

    void notifyState(quint64 id, int status)
    {
        if (m_instance->desc.onClientState)
            m_instance->desc.onClientState(std::uintptr_t(id), status, m_instance->context);
    }

    // Logs a warning unless the same one was logged a moment ago.
    void warn(const QString &key, const QString &text)
    {
        int held = 0;
        if (!warningThrottle().allow(m_instance->name + QLatin1Char(' ') + key, &held))
            return;
        if (held > 0)
            qCWarning(lcRpc).noquote() << text << QStringLiteral("(and %1 more like it)").arg(held);
        else
            qCWarning(lcRpc).noquote() << text;
    }

    void refuse(QLocalSocket *socket, quint64 id)
    {
        socket->abort();
        socket->deleteLater();
        notifyState(id, RPC_CLIENT_REFUSED);
    }

    // The connection that gives up its place to a new client, or 0: the one
    // idle longest that never made a call, else the one idle longest of all.
    // A connection that has started a frame or waits for its call to be
    // completed is not idle and keeps its place. So connections that made a
    // call once and then sit idle cannot lock out a client that calls now
    // (the login component), nor can connections that never call.
    quint64 idlest() const
    {
        const QSet<quint64> waiting = connectionsWithPendingCalls(m_instance);
        quint64 found = 0;
        bool foundMadeCall = true;
        qint64 longest = -1;
        for (const auto &entry : m_connections) {
            const Connection &connection = *entry.second;
            if (connection.reader.inFrame() || waiting.contains(entry.first))
                continue;
            const qint64 idle = connection.idle.elapsed();
            const bool before = connection.madeCall != foundMadeCall ? !connection.madeCall : idle > longest;
            if (found == 0 || before) {
                found = entry.first;
                foundMadeCall = connection.madeCall;
                longest = idle;
            }
        }
        return found;
    }

    void acceptConnections()
    {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            const quint64 id = ++m_lastId;
            std::string problem;
            if (!kyplatform::localPeerIsCurrentUser(socket->socketDescriptor(), kyplatform::LocalPeer::Client, problem)) {
                warn(QStringLiteral("foreign peer"), QStringLiteral("service %1 refuses connection %2: %3")
                                                         .arg(m_instance->name).arg(id).arg(QString::fromStdString(problem)));
                refuse(socket, id);
                continue;
            }
            if (m_connections.size() >= size_t(kMaxConnections)) {
                const quint64 idle = idlest();
                if (idle == 0) {
                    warn(QStringLiteral("too many"),
                         QStringLiteral("service %1 refuses a connection: too many open").arg(m_instance->name));
                    refuse(socket, id);
                    continue;
                }
                closeConnection(idle, "idle longest, making room for a new client");
            }
            auto connection = std::make_unique<Connection>();
            connection->id = id;
            connection->socket = socket;
            connection->since.start();
            connection->idle.start();
            connect(socket, &QLocalSocket::readyRead, this, [this, id]() { readFrames(id); });
            connect(socket, &QLocalSocket::disconnected, this, [this, id]() {
                // A whole frame sent just before closing is still a call.
                readFrames(id);
                closeConnection(id, nullptr);
            });
            m_connections.emplace(id, std::move(connection));
            // Bytes may have arrived with the connection itself.
            if (socket->bytesAvailable() > 0)
                readFrames(id);
        }
    }

    // Ends one connection. A reason is logged; the client is told nothing.
    void closeConnection(quint64 id, const char *reason)
    {
        auto it = m_connections.find(id);
        if (it == m_connections.end())
            return;
        std::unique_ptr<Connection> connection = std::move(it->second);
        m_connections.erase(it);
        if (reason)
            warn(QString::fromLatin1(reason), QStringLiteral("service %1 closes connection %2 : %3")
                                                  .arg(m_instance->name).arg(id).arg(QString::fromLatin1(reason)));
        dropPendingCalls(m_instance, id);
        connection->socket->disconnect(this);
        connection->socket->abort();
        connection->socket->deleteLater();
        if (!connection->greeted)
            notifyState(id, RPC_CLIENT_REFUSED);
        else if (m_instance->desc.onClientGone)
            m_instance->desc.onClientGone(std::uintptr_t(id), m_instance->context);
    }

    void readFrames(quint64 id)
    {
        for (;;) {
            Connection *connection = find(id);
            if (!connection)
                return;
            QByteArray payload;
            if (connection->reader.next(payload)) {
                if (connection->greeted)
                    connection->timing = false;
                handleFrame(*connection, payload);
                continue;
            }
            if (connection->reader.failed()) {
                closeConnection(id, "frame length out of bounds");
                return;
            }
            if (connection->socket->bytesAvailable() <= 0) {
                // A frame that has started must finish within the stall time.
                if (connection->greeted) {
                    if (connection->reader.inFrame() && !connection->timing) {
                        connection->timing = true;
                        connection->since.start();
                    } else if (!connection->reader.inFrame()) {
                        connection->timing = false;
                    }
                }
                return;
            }
            connection->idle.restart();
            connection->reader.feed(connection->socket->read(connection->reader.wanted()));
        }
    }

    void handleFrame(Connection &connection, const QByteArray &payload)
    {
        if (!connection.greeted) {
            greet(connection, payload);
            return;
        }
        if (payload.at(0) != kyrpc::KindCall) {
            closeConnection(connection.id, "unexpected frame");
            return;
        }
        connection.madeCall = true;
        handleCall(connection, payload);
    }

    void greet(Connection &connection, const QByteArray &payload)
    {
        if (payload != kyrpc::helloPayload()) {
            closeConnection(connection.id, "bad greeting");
            return;
        }
        connection.greeted = true;
        connection.timing = false;
        notifyState(connection.id, RPC_CLIENT_CONNECTED);
        QByteArray welcome;
        kyrpc::writeU8(welcome, kyrpc::KindWelcome);
        kyrpc::writeU8(welcome, kyrpc::kProtocolVersion);
        // Last: a failed write aborts the socket, which ends `connection`.
        connection.socket->write(kyrpc::frame(welcome));
        connection.socket->flush();
    }

    void handleCall(Connection &connection, const QByteArray &payload)
    {
        const quint64 id = connection.id;
        int pos = 1;
        quint32 callId = 0;
        quint16 nameLength = 0;
        quint8 count = 0;
        if (!kyrpc::readU32(payload, pos, callId) || !kyrpc::readU16(payload, pos, nameLength)
            || payload.size() - pos < int(nameLength)) {
            closeConnection(id, "malformed call");
            return;
        }
        const QByteArray name = payload.mid(pos, nameLength);
        pos += nameLength;
        if (name.isEmpty() || name.contains('\0') || !kyrpc::readU8(payload, pos, count)) {
            closeConnection(id, "malformed call");
            return;
        }
        std::vector<std::unique_ptr<RpcValue>> args;
        for (int i = 0; i < count; ++i) {
            std::unique_ptr<RpcValue> value = RpcValue::decode(payload, pos);
            if (!value) {
                closeConnection(id, "malformed argument");
                return;
            }
            args.push_back(std::move(value));
        }
        if (pos != payload.size()) {
            closeConnection(id, "trailing bytes in a call");
            return;
        }

        Procedure procedure;
        bool known = false;
        {
            QMutexLocker locker(&m_instance->mutex);
            auto it = m_instance->procedures.constFind(name);
            if (it != m_instance->procedures.constEnd()) {
                procedure = *it;
                known = true;
            }
        }
        if (!known) {
            warn(QStringLiteral("unknown procedure"), QStringLiteral("unknown procedure ") + QString::fromUtf8(name));
            closeConnection(id, "unknown procedure");
            return;
        }
        if (!matchesSignature(args, procedure.signature)) {
            warn(QStringLiteral("arguments"), QStringLiteral("arguments of %1 do not match %2")
                                                  .arg(QString::fromUtf8(name), QString::fromLatin1(procedure.signature)));
            closeConnection(id, "wrong arguments");
            return;
        }

        std::vector<IRpcArgument *> pointers;
        pointers.reserve(args.size());
        for (const auto &value : args)
            pointers.push_back(value.get());
        const RpcAsyncToken token = addPendingCall(m_instance, id, callId);
        // The handler may complete at once (this thread) or later (any thread);
        // `connection` may be gone once it returns.
        procedure.handler(m_instance->context, pointers.empty() ? nullptr : pointers.data(), int(pointers.size()), token);
    }

    void sweep()
    {
        std::vector<quint64> stalled;
        for (const auto &entry : m_connections) {
            const Connection &connection = *entry.second;
            if (connection.timing && connection.since.elapsed() > kStallMs)
                stalled.push_back(entry.first);
        }
        for (quint64 id : stalled) {
            Connection *connection = find(id);
            closeConnection(id, connection && connection->greeted ? "frame not completed in time" : "no greeting in time");
        }
    }

    RpcInstanceData *m_instance;
    QLocalServer m_server;
    QTimer m_sweep;
    std::map<quint64, std::unique_ptr<Connection>> m_connections;
    quint64 m_lastId = 0;
};

class ServiceThread : public QThread
{
public:
    ServiceThread(RpcInstanceData *instance, const QString &path)
        : m_instance(instance)
        , m_path(path)
    {
    }

    // Blocks until the thread listens or gave up.
    bool waitUntilListening()
    {
        m_ready.acquire();
        return m_listening;
    }

protected:
    void run() override
    {
        {
            ServiceHost host(m_instance);
            m_listening = host.listen(m_path);
            if (m_listening) {
                QMutexLocker locker(&m_instance->mutex);
                m_instance->host = &host;
            }
            m_ready.release();
            if (m_listening)
                exec();
            QMutexLocker locker(&m_instance->mutex);
            m_instance->host = nullptr;
        }
    }

private:
    RpcInstanceData *m_instance;
    QString m_path;
    QSemaphore m_ready;
    bool m_listening = false;
};

} // namespace

RpcInstance RpcCreateInstance(int versionMajor, int versionMinor, const RpcServiceDesc *desc, void *context)
{
    if (versionMajor != RPC_VERSION_MAJOR) {
        qCWarning(lcRpc) << "RpcCreateInstance: unsupported version" << versionMajor << versionMinor;
        return nullptr;
    }
    if (desc && desc->size != RPC_SERVICE_DESC_SIZE_32 && desc->size != sizeof(RpcServiceDesc)) {
        qCWarning(lcRpc) << "RpcCreateInstance: unknown description size" << desc->size;
        return nullptr;
    }
    auto instance = new RpcInstanceData;
    if (desc)
        instance->desc = *desc;
    instance->context = context;
    return instance;
}

bool RpcRegisterProcedure(RpcInstance instance, const char *name, const RpcProcedureHandler &handler,
                          const char *signature)
{
    const QByteArray procedureName(name ? name : "");
    const QByteArray letters(signature ? signature : "");
    if (!instance || procedureName.isEmpty() || procedureName.size() > 0xffff || !handler || !signatureIsValid(letters)
        || letters.size() > 255) {
        qCWarning(lcRpc).noquote() << "RpcRegisterProcedure: refused" << QString::fromUtf8(procedureName);
        return false;
    }
    QMutexLocker locker(&instance->mutex);
    if (instance->procedures.contains(procedureName)) {
        qCWarning(lcRpc).noquote() << "RpcRegisterProcedure: already registered" << QString::fromUtf8(procedureName);
        return false;
    }
    instance->procedures.insert(procedureName, Procedure{handler, letters});
    return true;
}

bool RpcStartService(RpcInstance instance, const char16_t *serviceName, int scope)
{
    if (!instance) {
        qCWarning(lcRpc) << "RpcStartService: no instance";
        return false;
    }
    if (scope != RPC_SCOPE_USER) {
        qCWarning(lcRpc) << "RpcStartService: unsupported scope" << scope;
        return false;
    }
    if (instance->thread) {
        qCWarning(lcRpc) << "RpcStartService: already serving" << instance->name;
        return false;
    }
    const QString name = kyrpc::serviceNameFrom(serviceName);
    if (name.isEmpty()) {
        qCWarning(lcRpc) << "RpcStartService: invalid service name";
        return false;
    }

    const QString folder = privateRuntimeDir();
    if (folder.isEmpty()) {
        qCWarning(lcRpc) << "RpcStartService: no private folder to serve" << name << "in";
        return false;
    }
    const QString lockPath = kyrpc::lockFilePath(folder, name);
    auto lock = std::make_unique<QLockFile>(lockPath);
    // Not stale by age: only a lock whose owner is gone may be taken over.
    if (!tryLockRecovering(*lock, lockPath)) {
        qCWarning(lcRpc) << "RpcStartService: service" << name << "is already served";
        return false;
    }

    instance->name = name;
    auto thread = std::make_unique<ServiceThread>(instance, kyrpc::socketPath(folder, name));
    thread->setObjectName(QStringLiteral("kyrpc ") + name);
    thread->start();
    if (!thread->waitUntilListening()) {
        thread->wait();
        releaseLock(*lock, lockPath);
        return false;
    }
    instance->lock = std::move(lock);
    instance->lockPath = lockPath;
    instance->thread = std::move(thread);
    return true;
}

bool RpcStopService(RpcInstance instance)
{
    if (!instance) {
        qCWarning(lcRpc) << "RpcStopService: no instance";
        return false;
    }
    if (instance->thread && QThread::currentThread() == instance->thread.get()) {
        qCWarning(lcRpc) << "RpcStopService: called from a handler of" << instance->name;
        return false;
    }
    dropPendingCalls(instance, 0);
    if (instance->thread) {
        instance->thread->quit();
        instance->thread->wait();
    }
    // The socket is gone with the host; only now may another process serve.
    if (instance->lock)
        releaseLock(*instance->lock, instance->lockPath);
    delete instance;
    return true;
}

bool RpcCompleteAsyncProcedure(RpcAsyncToken token, IRpcArgument *reply)
{
    if (reply)
        qCWarning(lcRpc) << "RpcCompleteAsyncProcedure: procedures return no value; the reply is dropped";

    ServiceHost *host = nullptr;
    PendingCall call;
    {
        QMutexLocker tokens(&tokenMutex());
        auto it = pendingCalls().find(token);
        if (it == pendingCalls().end()) {
            qCWarning(lcRpc) << "RpcCompleteAsyncProcedure: unknown token" << token;
            return false;
        }
        call = *it;
        pendingCalls().erase(it);

        // While the token lock is held the instance cannot be released.
        QMutexLocker locker(&call.instance->mutex);
        host = call.instance->host;
        if (!host)
            return false;
        if (host->thread() != QThread::currentThread()) {
            // Posting runs nothing of ours, so it is safe under the locks; an
            // event still queued when the host ends is discarded with it.
            const quint64 connection = call.connection;
            const quint32 callId = call.callId;
            QMetaObject::invokeMethod(host, [host, connection, callId]() { host->complete(connection, callId); },
                                      Qt::QueuedConnection);
            return true;
        }
    }
    // On the service thread, inside a handler: the host cannot end meanwhile,
    // and writing may close the connection, which takes the token lock.
    host->complete(call.connection, call.callId);
    return true;
}
