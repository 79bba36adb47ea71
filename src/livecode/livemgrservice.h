#pragma once

#include "rpc/rpc.h"

#include <QObject>
#include <QString>

#include <atomic>

// Publishes the local RPC service "KYLiveMgrService", through which the login
// component reports the push address and live code ("broadcast_info"), the
// result of opening the live room ("open_room_msg") and its closing
// ("liveCodeModuleClose"). Each call becomes one signal.
//
// The object belongs to the GUI thread, but the handlers run on the RPC
// library's thread: they touch no field but an atomic count, only decode,
// complete the call and emit, so receivers connected with the automatic type
// run on their own thread through the event queue.
class LiveMgrService : public QObject
{
    Q_OBJECT

public:
    LiveMgrService();
    // Stops the service when it was started.
    ~LiveMgrService() override;

    // Creates the instance, registers the three procedures and starts
    // serving; does nothing once an instance exists.
    void start();

    // Whether a call has been completed but its signal is not out yet. The
    // caller is released first, so a component can end while its report is
    // still on the way; whoever concludes from the component's end that no
    // report came asks this first.
    bool isDelivering() const;

signals:
    void sglBroadcastInfoMsg(QString url, QString code);
    void sglOpenLiveRoomResult(int res, QString msg);
    void sglLiveCodeModuleClose();

private:
    void onBroadcastInfo(void *context, IRpcArgument **args, int count, RpcAsyncToken token);
    void onOpenRoomMsg(void *context, IRpcArgument **args, int count, RpcAsyncToken token);
    void onLiveCodeModuleClose(void *context, IRpcArgument **args, int count, RpcAsyncToken token);

    RpcInstance m_instance = nullptr;
    std::atomic<int> m_deliveries{0};
};
