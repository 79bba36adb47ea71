// The RPC service's reading of what a client sends: frames collected from
// bytes arriving in pieces, then calls and their argument values decoded.
// A decoded value must encode back to the bytes it came from.

#include "rpc/rpcwire.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using kyrpc::RpcValue;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// Reads every item the way a handler would, through the interface, and
// past both ends of each list (an empty value, never null).
void walk(RpcValue *value, int depth)
{
    check(depth <= kyrpc::kMaxDepth);
    value->toInt();
    check(value->toString() != nullptr);
    for (IRpcArgument *outside : {value->item(-1), value->item(value->count())}) {
        check(outside != nullptr && outside->toString() != nullptr && outside->toString()[0] == '\0');
        check(outside->toInt() == 0);
    }
    for (int i = 0; i < value->count(); ++i)
        walk(static_cast<RpcValue *>(value->item(i)), depth + 1);
}

// Decodes values from `pos` to the end; each one must survive a round trip.
void decodeValues(const QByteArray &payload, int pos, int count)
{
    for (int i = 0; i < count && pos < payload.size(); ++i) {
        const int start = pos;
        std::unique_ptr<RpcValue> value = RpcValue::decode(payload, pos);
        if (!value)
            return;
        check(pos > start && pos <= payload.size());
        QByteArray encoded;
        value->encode(encoded);
        check(encoded == payload.mid(start, pos - start));
        walk(value.get(), 0);
    }
}

// A payload read the way the service reads a call.
void decodePayload(const QByteArray &payload)
{
    int pos = 0;
    quint8 kind = 0;
    if (!kyrpc::readU8(payload, pos, kind))
        return;
    if (kind != kyrpc::KindCall) {
        decodeValues(payload, pos, 8);
        return;
    }
    quint32 callId = 0;
    quint16 nameLength = 0;
    quint8 count = 0;
    if (!kyrpc::readU32(payload, pos, callId) || !kyrpc::readU16(payload, pos, nameLength)
        || payload.size() - pos < int(nameLength))
        return;
    pos += nameLength;
    if (!kyrpc::readU8(payload, pos, count))
        return;
    decodeValues(payload, pos, count);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1 || size > 1 << 20)
        return 0;
    // The first byte sets how the bytes arrive: in pieces of 1 to 64.
    const int piece = 1 + data[0] % 64;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), int(size - 1));

    kyrpc::FrameReader reader;
    int pos = 0;
    while (pos < bytes.size() && !reader.failed()) {
        const qint64 wanted = reader.wanted();
        check(wanted >= 0 && wanted <= qint64(kyrpc::kMaxFrameBytes) + 4);
        const int take = int(qMin<qint64>(qMin<qint64>(piece, wanted > 0 ? wanted : piece), bytes.size() - pos));
        reader.feed(bytes.mid(pos, take));
        pos += take;
        QByteArray payload;
        while (reader.next(payload)) {
            check(!payload.isEmpty() && quint32(payload.size()) <= kyrpc::kMaxFrameBytes);
            decodePayload(payload);
        }
    }
    // The whole input as one payload, as if it had come in a frame.
    decodePayload(bytes);
    return 0;
}
