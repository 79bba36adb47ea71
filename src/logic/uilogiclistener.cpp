#include "logic/uilogiclistener.h"

void UILogicListener::onUpdateAppStatus(QString name, int status)
{
    emit sglUpdateAppStatus(name, status);
}

void UILogicListener::onUpdateDownloadProgress(QString name, int progress)
{
    emit sglUpdateDownloadProgress(name, progress);
}

void UILogicListener::onDownloadFinished(QString name, QString downloadedFile)
{
    emit sglDownloadFinished(name, downloadedFile);
}

void UILogicListener::onDownloadFailed(QString name)
{
    emit sglDownloadFailed(name);
}

void UILogicListener::onLiveToolInstallProgress(QString name, int progress)
{
    emit sglLiveToolInstallProgress(name, progress);
}

void UILogicListener::onLiveToolInstallFinished(QString name)
{
    emit sglLiveToolInstallFinished(name);
}

void UILogicListener::onLiveToolUnInstallFinished(QString name)
{
    emit sglLiveToolUnInstallFinished(name);
}

void UILogicListener::onBroadcastInfoMsg(QString url, QString code)
{
    emit sglBroadcastInfoMsg(url, code);
}

void UILogicListener::onOpenLiveRoomResult(int res, QString msg)
{
    emit sglOpenLiveRoomResult(res, msg);
}

void UILogicListener::onLiveCodeModuleClose()
{
    emit sglLiveCodeModuleClose();
}
