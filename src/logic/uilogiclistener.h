#pragma once

#include "logic/ikylogiclistener.h"

#include <QObject>

// Turns each listener callback into the signal in the same position, so any
// number of windows can subscribe to worker events.
class UILogicListener : public QObject, public IKyLogicListener
{
    Q_OBJECT
    Q_INTERFACES(IKyLogicListener)

public:
    UILogicListener() = default;

    void onUpdateAppStatus(QString name, int status) override;
    void onUpdateDownloadProgress(QString name, int progress) override;
    void onDownloadFinished(QString name, QString downloadedFile) override;
    void onDownloadFailed(QString name) override;
    void onLiveToolInstallProgress(QString name, int progress) override;
    void onLiveToolInstallFinished(QString name) override;
    void onLiveToolUnInstallFinished(QString name) override;
    void onBroadcastInfoMsg(QString url, QString code) override;
    void onOpenLiveRoomResult(int res, QString msg) override;
    void onLiveCodeModuleClose() override;

signals:
    void sglUpdateAppStatus(QString name, int status);
    void sglUpdateDownloadProgress(QString name, int progress);
    void sglDownloadFinished(QString name, QString downloadedFile);
    void sglDownloadFailed(QString name);
    void sglLiveToolInstallProgress(QString name, int progress);
    void sglLiveToolInstallFinished(QString name);
    void sglLiveToolUnInstallFinished(QString name);
    void sglBroadcastInfoMsg(QString url, QString code);
    void sglOpenLiveRoomResult(int res, QString msg);
    void sglLiveCodeModuleClose();
};
