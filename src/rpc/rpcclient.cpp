// The client side: blocking calls from the thread that connected.

#include "rpc/rpc.h"
#include "rpc/rpcwire.h"

#include "common/kypaths.h"
#include "platform/privatefiles.h"

#include <QDeadlineTimer>
#include <QLocalSocket>

using kyrpc::FrameReader;
using kyrpc::RpcValue;

struct RpcClientData
{
    QLocalSocket socket;
    FrameReader reader;
    quint32 lastCallId = 0;
};

namespace {

int remainingMs(const QDeadlineTimer &deadline)
{
    return int(qMax<qint64>(0, deadline.remainingTime()));
}

bool writeAll(RpcClientData &client, const QByteArray &bytes, const QDeadlineTimer &deadline)
{
    if (client.socket.write(bytes) != bytes.size())
        return false;
    while (client.socket.bytesToWrite() > 0) {
        if (!client.socket.waitForBytesWritten(remainingMs(deadline)))
            return false;
    }
    return true;
}

bool readFrame(RpcClientData &client, QByteArray &payload, const QDeadlineTimer &deadline)
{
    for (;;) {
        if (client.reader.next(payload))
            return true;
        if (client.reader.failed())
            return false;
        if (client.socket.bytesAvailable() <= 0 && !client.socket.waitForReadyRead(remainingMs(deadline)))
            return false;
        client.reader.feed(client.socket.read(client.reader.wanted()));
    }
}

} // namespace

RpcClient RpcConnect(const char16_t *serviceName, int timeoutMs)
{
    const QString name = kyrpc::serviceNameFrom(serviceName);
    if (name.isEmpty()) {
        qCWarning(lcRpc) << "RpcConnect: invalid service name";
        return nullptr;
    }
    const QString folder = privateRuntimeDir();
    if (folder.isEmpty()) {
        qCWarning(lcRpc) << "RpcConnect: no private folder to find" << name << "in";
        return nullptr;
    }
    const QDeadlineTimer deadline(qMax(0, timeoutMs));
    auto client = std::make_unique<RpcClientData>();
    client->socket.connectToServer(kyrpc::socketPath(folder, name));
    if (!client->socket.waitForConnected(remainingMs(deadline))) {
        qCDebug(lcRpc) << "RpcConnect: no service" << name << ":" << client->socket.errorString();
        return nullptr;
    }
    // Nothing is sent to a service another account runs.
    std::string problem;
    if (!kyplatform::localPeerIsCurrentUser(client->socket.socketDescriptor(), kyplatform::LocalPeer::Server, problem)) {
        qCWarning(lcRpc).noquote() << "RpcConnect: refusing service" << name << ":" << QString::fromStdString(problem);
        client->socket.abort();
        return nullptr;
    }
    QByteArray welcome;
    if (!writeAll(*client, kyrpc::frame(kyrpc::helloPayload()), deadline) || !readFrame(*client, welcome, deadline)
        || welcome.size() != 2 || welcome.at(0) != kyrpc::KindWelcome || quint8(welcome.at(1)) != kyrpc::kProtocolVersion) {
        qCWarning(lcRpc) << "RpcConnect: service" << name << "did not welcome us";
        return nullptr;
    }
    return client.release();
}

bool RpcCall(RpcClient client, const char *procedure, IRpcArgument *argument, int timeoutMs)
{
    const QByteArray name(procedure ? procedure : "");
    if (!client || name.isEmpty() || name.size() > 0xffff) {
        qCWarning(lcRpc) << "RpcCall: no connection or no procedure name";
        return false;
    }
    RpcValue *value = nullptr;
    if (argument) {
        value = kyrpc::builtValue(argument);
        if (!value || (value->type() == RpcValue::List && value->isOpen())) {
            qCWarning(lcRpc) << "RpcCall: the argument is not a finished value built with RpcArg*";
            return false;
        }
    }

    const quint32 callId = ++client->lastCallId;
    QByteArray payload;
    kyrpc::writeU8(payload, kyrpc::KindCall);
    kyrpc::writeU32(payload, callId);
    kyrpc::writeU16(payload, quint16(name.size()));
    payload += name;
    kyrpc::writeU8(payload, value ? 1 : 0);
    if (value)
        value->encode(payload);
    if (quint32(payload.size()) > kyrpc::kMaxFrameBytes) {
        qCWarning(lcRpc) << "RpcCall: the call is larger than a frame may be";
        return false;
    }

    const QDeadlineTimer deadline(qMax(0, timeoutMs));
    if (!writeAll(*client, kyrpc::frame(payload), deadline))
        return false;
    for (;;) {
        QByteArray answer;
        if (!readFrame(*client, answer, deadline))
            return false;
        int pos = 1;
        quint32 doneId = 0;
        if (answer.at(0) != kyrpc::KindDone || !kyrpc::readU32(answer, pos, doneId) || pos != answer.size())
            return false;
        // A completion of an earlier call that timed out is skipped.
        if (doneId == callId)
            return true;
    }
}

void RpcDisconnect(RpcClient client)
{
    if (!client)
        return;
    client->socket.abort();
    delete client;
}
