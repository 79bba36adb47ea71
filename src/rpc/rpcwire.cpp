#include "rpc/rpcwire.h"


Q_LOGGING_CATEGORY(lcRpc, "kyoro.rpc")

namespace kyrpc {

std::unique_ptr<RpcValue> RpcValue::makeInt(int value)
{
    std::unique_ptr<RpcValue> result(new RpcValue(Int));
    result->m_int = value;
    return result;
}

std::unique_ptr<RpcValue> RpcValue::makeString(const QByteArray &utf8)
{
    std::unique_ptr<RpcValue> result(new RpcValue(String));
    result->m_text = utf8;
    return result;
}

std::unique_ptr<RpcValue> RpcValue::makeList()
{
    std::unique_ptr<RpcValue> result(new RpcValue(List));
    result->m_open = true;
    return result;
}

RpcValue *RpcValue::empty()
{
    // Never changed after construction, so it may be read from any thread.
    static RpcValue value(Empty);
    return &value;
}

int RpcValue::toInt()
{
    return m_type == Int ? m_int : 0;
}

const char *RpcValue::toString()
{
    // QByteArray keeps a terminating zero behind its data.
    return m_type == String ? m_text.constData() : "";
}

IRpcArgument *RpcValue::item(int index)
{
    if (m_type != List || index < 0 || index >= count())
        return empty();
    return m_items[size_t(index)].get();
}

void RpcValue::encode(QByteArray &out) const
{
    switch (m_type) {
    case Int:
        writeU8(out, 'i');
        writeU32(out, quint32(m_int));
        break;
    case String:
        writeU8(out, 's');
        writeU32(out, quint32(m_text.size()));
        out += m_text;
        break;
    case List:
        writeU8(out, 'o');
        writeU32(out, quint32(m_items.size()));
        for (const auto &child : m_items)
            child->encode(out);
        break;
    case Empty:
        // Not an argument of its own; never appended to a list.
        break;
    }
}

std::unique_ptr<RpcValue> RpcValue::decode(const QByteArray &data, int &pos, int depth)
{
    std::unique_ptr<RpcValue> value = decodeValue(data, pos, depth);
    // Received values belong to the library, never to RpcArgFree or a list.
    if (value)
        value->m_attached = true;
    return value;
}

std::unique_ptr<RpcValue> RpcValue::decodeValue(const QByteArray &data, int &pos, int depth)
{
    quint8 tag = 0;
    if (!readU8(data, pos, tag))
        return nullptr;
    switch (tag) {
    case 'i': {
        quint32 raw = 0;
        if (!readU32(data, pos, raw))
            return nullptr;
        return makeInt(int(qint32(raw)));
    }
    case 's': {
        quint32 length = 0;
        if (!readU32(data, pos, length) || length > quint32(data.size() - pos))
            return nullptr;
        const QByteArray text = data.mid(pos, int(length));
        if (text.contains('\0'))
            return nullptr;
        pos += int(length);
        return makeString(text);
    }
    case 'o': {
        quint32 count = 0;
        // Every item takes at least one byte, which bounds the count before
        // anything is allocated for it.
        if (depth >= kMaxDepth || !readU32(data, pos, count) || count > quint32(data.size() - pos))
            return nullptr;
        std::unique_ptr<RpcValue> list = makeList();
        list->close();
        list->m_items.reserve(count);
        for (quint32 i = 0; i < count; ++i) {
            std::unique_ptr<RpcValue> child = decode(data, pos, depth + 1);
            if (!child)
                return nullptr;
            list->m_items.push_back(std::move(child));
        }
        return list;
    }
    default:
        return nullptr;
    }
}

RpcValue *builtValue(IRpcArgument *argument)
{
    RpcValue *value = dynamic_cast<RpcValue *>(argument);
    return value == RpcValue::empty() ? nullptr : value;
}

bool readU8(const QByteArray &data, int &pos, quint8 &value)
{
    if (data.size() - pos < 1)
        return false;
    value = quint8(data[pos]);
    pos += 1;
    return true;
}

bool readU16(const QByteArray &data, int &pos, quint16 &value)
{
    if (data.size() - pos < 2)
        return false;
    value = quint16((quint8(data[pos]) << 8) | quint8(data[pos + 1]));
    pos += 2;
    return true;
}

bool readU32(const QByteArray &data, int &pos, quint32 &value)
{
    if (data.size() - pos < 4)
        return false;
    value = (quint32(quint8(data[pos])) << 24) | (quint32(quint8(data[pos + 1])) << 16)
        | (quint32(quint8(data[pos + 2])) << 8) | quint32(quint8(data[pos + 3]));
    pos += 4;
    return true;
}

void writeU8(QByteArray &out, quint8 value)
{
    out.append(char(value));
}

void writeU16(QByteArray &out, quint16 value)
{
    out.append(char(value >> 8));
    out.append(char(value & 0xff));
}

void writeU32(QByteArray &out, quint32 value)
{
    out.append(char(value >> 24));
    out.append(char((value >> 16) & 0xff));
    out.append(char((value >> 8) & 0xff));
    out.append(char(value & 0xff));
}

QByteArray frame(const QByteArray &payload)
{
    QByteArray out;
    out.reserve(payload.size() + 4);
    writeU32(out, quint32(payload.size()));
    out += payload;
    return out;
}

QByteArray helloPayload()
{
    QByteArray payload;
    writeU8(payload, KindHello);
    payload += kMagic;
    writeU8(payload, kProtocolVersion);
    return payload;
}

qint64 FrameReader::wanted() const
{
    if (m_failed)
        return 0;
    if (m_buffer.size() < 4)
        return 4 - m_buffer.size();
    int pos = 0;
    quint32 length = 0;
    readU32(m_buffer, pos, length);
    if (length == 0 || length > kMaxFrameBytes)
        return 0;
    return qMax<qint64>(0, qint64(length) + 4 - m_buffer.size());
}

void FrameReader::feed(const QByteArray &bytes)
{
    m_buffer += bytes;
}

bool FrameReader::next(QByteArray &payload)
{
    if (m_failed || m_buffer.size() < 4)
        return false;
    int pos = 0;
    quint32 length = 0;
    readU32(m_buffer, pos, length);
    if (length == 0 || length > kMaxFrameBytes) {
        m_failed = true;
        m_buffer.clear();
        return false;
    }
    if (quint32(m_buffer.size() - 4) < length)
        return false;
    payload = m_buffer.mid(4, int(length));
    m_buffer.remove(0, int(length) + 4);
    return true;
}

QString serviceNameFrom(const char16_t *name)
{
    if (!name)
        return QString();
    QString result;
    for (int i = 0;; ++i) {
        const char16_t c = name[i];
        if (c == 0)
            break;
        if (i >= kMaxNameChars)
            return QString();
        const bool allowed = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9')
            || c == u'.' || c == u'_' || c == u'-';
        if (!allowed)
            return QString();
        result.append(QChar(c));
    }
    return result;
}

QString socketPath(const QString &folder, const QString &serviceName)
{
    return folder + QStringLiteral("/kyrpc-") + serviceName + QStringLiteral(".sock");
}

QString lockFilePath(const QString &folder, const QString &serviceName)
{
    return folder + QStringLiteral("/kyrpc-") + serviceName + QStringLiteral(".lock");
}

} // namespace kyrpc

using kyrpc::RpcValue;

IRpcArgument *RpcArgBegin()
{
    return RpcValue::makeList().release();
}

IRpcArgument *RpcArgFrom(const char *text)
{
    return RpcValue::makeString(QByteArray(text ? text : "")).release();
}

IRpcArgument *RpcArgFromInt(int value)
{
    return RpcValue::makeInt(value).release();
}

bool RpcArgAppend(IRpcArgument *list, IRpcArgument *item)
{
    RpcValue *target = kyrpc::builtValue(list);
    RpcValue *value = kyrpc::builtValue(item);
    if (!target || !value || target == value || target->type() != RpcValue::List || !target->isOpen()
        || value->isAttached() || (value->type() == RpcValue::List && value->isOpen())) {
        qCWarning(lcRpc) << "RpcArgAppend: needs an open list and a finished item of no other list";
        return false;
    }
    target->append(std::unique_ptr<RpcValue>(value));
    return true;
}

bool RpcArgEnd(IRpcArgument *list)
{
    RpcValue *target = kyrpc::builtValue(list);
    if (!target || target->type() != RpcValue::List || !target->isOpen()) {
        qCWarning(lcRpc) << "RpcArgEnd: not an open list";
        return false;
    }
    target->close();
    return true;
}

void RpcArgFree(IRpcArgument *argument)
{
    RpcValue *value = kyrpc::builtValue(argument);
    if (value && value->isAttached()) {
        // Freed with the list that holds it.
        qCWarning(lcRpc) << "RpcArgFree: the item belongs to a list";
        return;
    }
    delete value;
}
