#pragma once

// RPC frames written by hand, and raw connections to a service's socket, for
// the tests that play a client the library would never be.

#include <QByteArray>
#include <QLocalSocket>
#include <QString>

#include <memory>

namespace kytest {

inline QByteArray be32(quint32 value)
{
    QByteArray out(4, '\0');
    out[0] = char(value >> 24);
    out[1] = char(value >> 16);
    out[2] = char(value >> 8);
    out[3] = char(value);
    return out;
}

inline QByteArray frameOf(const QByteArray &payload)
{
    return be32(quint32(payload.size())) + payload;
}

inline QByteArray helloFrame()
{
    return frameOf(QByteArray("HKYRPC") + char(1));
}

// A call payload: call id 1, the procedure's name, `count` values.
inline QByteArray callPayload(const QByteArray &procedure, int count, const QByteArray &values)
{
    return QByteArray("C") + be32(1) + char(0) + char(procedure.size()) + procedure + char(count) + values;
}

// A connection to the socket at `path`, welcomed when `greet` is set; null
// when it cannot be made within `timeoutMs`.
inline std::unique_ptr<QLocalSocket> rawRpcSocket(const QString &path, bool greet, int timeoutMs)
{
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(path);
    if (!socket->waitForConnected(timeoutMs))
        return nullptr;
    if (greet) {
        socket->write(helloFrame());
        QByteArray welcome;
        while (welcome.size() < 6 && socket->waitForReadyRead(timeoutMs))
            welcome += socket->readAll();
        if (welcome != frameOf("W\x01"))
            return nullptr;
    }
    return socket;
}

} // namespace kytest
