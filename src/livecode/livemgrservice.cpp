#include "livecode/livemgrservice.h"

#include "common/kylogthrottle.h"

#include <QtGlobal>

#include <cstring>
#include <functional>

namespace {

constexpr int kServiceNameChars = 256;
const char16_t kServiceName[] = u"KYLiveMgrService";

// Connection callback of the service: status 1 is a client that connected.
// A client that connects again and again without greeting must not fill the
// log, so the warning is limited to a few per interval.
void onClientState(std::uintptr_t, int status, void *)
{
    static KyLogThrottle throttle;
    if (status != RPC_CLIENT_CONNECTED && throttle.allow(QStringLiteral("client connect failed")))
        qWarning("by tq client connect failed\n");
}

// A client that had connected went away; nothing to do.
void onClientGone(std::uintptr_t, void *)
{
}

// The push address and live code of "broadcast_info", each copied out of the
// argument into a buffer of its own.
struct BroadcastInfo
{
    char *url = nullptr;
    char *code = nullptr;
};

char *copyText(const char *text)
{
    const size_t length = std::strlen(text);
    char *copy = new char[length + 1];
    std::memcpy(copy, text, length + 1);
    return copy;
}

BroadcastInfo decodeBroadcastInfo(IRpcArgument *argument)
{
    BroadcastInfo info;
    info.url = copyText(argument->item(0)->toString());
    info.code = copyText(argument->item(1)->toString());
    return info;
}

void releaseBroadcastInfo(BroadcastInfo &info)
{
    delete[] info.url;
    delete[] info.code;
    info.url = nullptr;
    info.code = nullptr;
}

// Counts one report from before its call is completed until its signal is
// out.
class Delivery
{
public:
    explicit Delivery(std::atomic<int> &count)
        : m_count(count)
    {
        ++m_count;
    }
    ~Delivery() { --m_count; }
    Delivery(const Delivery &) = delete;
    Delivery &operator=(const Delivery &) = delete;

private:
    std::atomic<int> &m_count;
};

} // namespace

LiveMgrService::LiveMgrService()
    : QObject(nullptr)
{
}

LiveMgrService::~LiveMgrService()
{
    if (m_instance) {
        RpcStopService(m_instance);
        m_instance = nullptr;
    }
}

void LiveMgrService::start()
{
    if (m_instance)
        return;

    char16_t name[kServiceNameChars];
    std::memset(name, 0, sizeof(name));
    std::memcpy(name, kServiceName, sizeof(kServiceName));

    RpcServiceDesc desc;
    desc.size = RPC_SERVICE_DESC_SIZE_32;
    desc.onClientState = onClientState;
    desc.reserved1 = nullptr;
    desc.onClientGone = onClientGone;
    desc.reserved2 = nullptr;

    m_instance = RpcCreateInstance(RPC_VERSION_MAJOR, RPC_VERSION_MINOR, &desc, this);

    using namespace std::placeholders;
    const RpcProcedureHandler broadcastInfo = std::bind(&LiveMgrService::onBroadcastInfo, this, _1, _2, _3, _4);
    const RpcProcedureHandler openRoomMsg = std::bind(&LiveMgrService::onOpenRoomMsg, this, _1, _2, _3, _4);
    const RpcProcedureHandler moduleClose = std::bind(&LiveMgrService::onLiveCodeModuleClose, this, _1, _2, _3, _4);
    RpcRegisterProcedure(m_instance, "broadcast_info", broadcastInfo, "O");
    RpcRegisterProcedure(m_instance, "open_room_msg", openRoomMsg, "O");
    RpcRegisterProcedure(m_instance, "liveCodeModuleClose", moduleClose, "");

    RpcStartService(m_instance, name, RPC_SCOPE_USER);
}

bool LiveMgrService::isDelivering() const
{
    return m_deliveries > 0;
}

void LiveMgrService::onBroadcastInfo(void *, IRpcArgument **args, int, RpcAsyncToken token)
{
    BroadcastInfo info = decodeBroadcastInfo(args[0]);
    const QString url = QString::fromUtf8(info.url);
    const QString code = QString::fromUtf8(info.code);
    releaseBroadcastInfo(info);
    // The caller is released before anyone reacts to the address.
    const Delivery delivery(m_deliveries);
    RpcCompleteAsyncProcedure(token, nullptr);
    emit sglBroadcastInfoMsg(url, code);
}

void LiveMgrService::onOpenRoomMsg(void *, IRpcArgument **args, int, RpcAsyncToken token)
{
    const int res = args[0]->item(0)->toInt();
    const QString msg = QString::fromUtf8(args[0]->item(1)->toString());
    const Delivery delivery(m_deliveries);
    RpcCompleteAsyncProcedure(token, nullptr);
    emit sglOpenLiveRoomResult(res, msg);
}

void LiveMgrService::onLiveCodeModuleClose(void *, IRpcArgument **, int, RpcAsyncToken token)
{
    const Delivery delivery(m_deliveries);
    RpcCompleteAsyncProcedure(token, nullptr);
    emit sglLiveCodeModuleClose();
}
