#pragma once

#include <QString>

// The one callback interface of the logic core. The hub hands every worker
// event to the registered listener; the values mean what their sources say.
class IKyLogicListener
{
public:
    virtual ~IKyLogicListener() = default;

    virtual void onUpdateAppStatus(QString name, int status) = 0;
    virtual void onUpdateDownloadProgress(QString name, int progress) = 0;
    virtual void onDownloadFinished(QString name, QString downloadedFile) = 0;
    virtual void onDownloadFailed(QString name) = 0;
    virtual void onLiveToolInstallProgress(QString name, int progress) = 0;
    virtual void onLiveToolInstallFinished(QString name) = 0;
    virtual void onLiveToolUnInstallFinished(QString name) = 0;
    virtual void onBroadcastInfoMsg(QString url, QString code) = 0;
    virtual void onOpenLiveRoomResult(int res, QString msg) = 0;
    virtual void onLiveCodeModuleClose() = 0;
};

#include <QtPlugin>
Q_DECLARE_INTERFACE(IKyLogicListener, "IKyLogicListener")
