#pragma once

// Internal to the RPC library: values, frames and where a service listens.
//
// Transport: a QLocalServer socket (a named pipe on Windows) at
//   <runtime folder>/kyrpc-<service name>.sock
// created with access for the current user only, guarded by the lock file
//   <runtime folder>/kyrpc-<service name>.lock
// which the serving process holds. The runtime folder is the user's private
// one (privateRuntimeDir); without one, nothing is served or called. Only a
// process that holds the lock may remove a socket left behind by a crashed
// one; while the lock is held the name cannot be taken over. Both ends check
// that the process at the other end runs as the same account before a byte
// is read or sent.
//
// Wire format. Every message is one frame:
//   u32 length (big-endian, 1 .. kMaxFrameBytes) | payload[length]
// A payload starts with one kind byte:
//   'H' hello,   client -> service: "KYRPC" u8 version (1)
//   'W' welcome, service -> client: u8 version
//   'C' call,    client -> service: u32 call id | u16 name length | name
//                                   | u8 argument count | value * count
//   'D' done,    service -> client: u32 call id (no reply value)
// A value is one tag byte, then:
//   'i' i32 (big-endian)
//   's' u32 length | UTF-8 bytes (no zero byte)
//   'o' u32 item count | value * count, nested at most kMaxDepth lists deep
// The first frame of a connection must be a hello. A frame must be consumed
// exactly; anything else (unknown kind or tag, short or trailing bytes, an
// oversized length, an unknown procedure, arguments that do not match the
// signature) closes that one connection.

#include "rpc/rpc.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

#include <memory>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcRpc)

namespace kyrpc {

constexpr quint32 kMaxFrameBytes = 1024 * 1024;
constexpr int kMaxDepth = 16;
constexpr quint8 kProtocolVersion = 1;
constexpr int kMaxNameChars = 255;
constexpr char kMagic[] = "KYRPC";

enum Kind : char {
    KindHello = 'H',
    KindWelcome = 'W',
    KindCall = 'C',
    KindDone = 'D',
};

// The one implementation of IRpcArgument: received values and built ones.
class RpcValue final : public IRpcArgument
{
public:
    enum Type { Empty, Int, String, List };

    static std::unique_ptr<RpcValue> makeInt(int value);
    static std::unique_ptr<RpcValue> makeString(const QByteArray &utf8);
    static std::unique_ptr<RpcValue> makeList();
    // A shared, immutable value returned for reads past the end.
    static RpcValue *empty();

    int toInt() override;
    const char *toString() override;
    IRpcArgument *item(int index) override;

    Type type() const { return m_type; }
    int count() const { return int(m_items.size()); }
    bool isOpen() const { return m_open; }
    void close() { m_open = false; }
    // Set once the value belongs to a list or was received; such a value is
    // freed by its owner.
    bool isAttached() const { return m_attached; }
    void append(std::unique_ptr<RpcValue> item)
    {
        item->m_attached = true;
        m_items.push_back(std::move(item));
    }

    // Appends the encoded value to `out`.
    void encode(QByteArray &out) const;
    // Decodes one value at `pos`, advancing it; null when malformed.
    static std::unique_ptr<RpcValue> decode(const QByteArray &data, int &pos, int depth = 0);

private:
    explicit RpcValue(Type type) : m_type(type) {}
    static std::unique_ptr<RpcValue> decodeValue(const QByteArray &data, int &pos, int depth);

    Type m_type;
    bool m_open = false;
    bool m_attached = false;
    int m_int = 0;
    QByteArray m_text;
    std::vector<std::unique_ptr<RpcValue>> m_items;
};

// The value behind an argument built with RpcArg*, or null for anything else.
RpcValue *builtValue(IRpcArgument *argument);

// Big-endian readers over a payload; false when fewer bytes remain.
bool readU8(const QByteArray &data, int &pos, quint8 &value);
bool readU16(const QByteArray &data, int &pos, quint16 &value);
bool readU32(const QByteArray &data, int &pos, quint32 &value);
void writeU8(QByteArray &out, quint8 value);
void writeU16(QByteArray &out, quint16 value);
void writeU32(QByteArray &out, quint32 value);

// Wraps a payload into a frame.
QByteArray frame(const QByteArray &payload);
QByteArray helloPayload();

// Collects bytes into frames and enforces the upper bound.
class FrameReader
{
public:
    // Bytes still wanted before the next frame (or its header) is complete.
    qint64 wanted() const;
    void feed(const QByteArray &bytes);
    // Takes the next whole frame's payload; false when none is complete.
    bool next(QByteArray &payload);
    // True once a header announced a length of 0 or above kMaxFrameBytes.
    bool failed() const { return m_failed; }
    // True while part of a frame has arrived.
    bool inFrame() const { return !m_buffer.isEmpty(); }

private:
    QByteArray m_buffer;
    bool m_failed = false;
};

// A service name from a zero-terminated UTF-16 buffer, or "" when it is null,
// too long, unterminated within the limit or holds a character other than a
// letter, digit, '.', '_' or '-'.
QString serviceNameFrom(const char16_t *name);
// Where a service listens and its lock file, in `folder` (the user's private
// runtime folder, privateRuntimeDir()).
QString socketPath(const QString &folder, const QString &serviceName);
QString lockFilePath(const QString &folder, const QString &serviceName);

} // namespace kyrpc
