#pragma once

#include "rpc/rpc.h"

#include <QObject>
#include <QString>

// Publishes the local RPC service "KYLiveMgrService", through which the login
// component reports the push address and live code ("broadcast_info"), the
// result of opening the live room ("open_room_msg") and its closing
// ("liveCodeModuleClose"). Each call becomes one signal.
//
// The object belongs to the GUI thread, but the handlers run on the RPC
// library's thread: they touch no field, only decode, complete the call and
// emit, so receivers connected with the automatic type run on their own
// thread through the event queue.
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

signals:
    void sglBroadcastInfoMsg(QString url, QString code);
    void sglOpenLiveRoomResult(int res, QString msg);
    void sglLiveCodeModuleClose();

private:
    void onBroadcastInfo(void *context, IRpcArgument **args, int count, RpcAsyncToken token);
    void onOpenRoomMsg(void *context, IRpcArgument **args, int count, RpcAsyncToken token);
    void onLiveCodeModuleClose(void *context, IRpcArgument **args, int count, RpcAsyncToken token);

    RpcInstance m_instance = nullptr;
};
