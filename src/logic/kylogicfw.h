#pragma once

#include <QObject>
#include <QString>

class IKyLogicListener;
class KyLiveToolsManager;
class KyFileDownloaderMgr;
class LiveCodeModuleManager;

// The single object through which the user interface reaches the workers. It
// owns the live tools manager and the live code module manager, connects every
// worker event to one of its slots and hands each event to the registered
// listener (or drops it when none is registered). Lives on the GUI thread.
class KyLogicFW : public QObject
{
    Q_OBJECT

public:
    static KyLogicFW *instance();
    // Deletes the hub and its workers; a later instance() starts afresh.
    static void destroyInstance();

    ~KyLogicFW() override;

    // Creates and wires the workers; called once by the main window.
    void initialize();
    // Replaces the listener; null switches forwarding off. Not owned.
    void setListener(IKyLogicListener *listener);

    KyLiveToolsManager *liveToolsManager() const;
    KyFileDownloaderMgr *fileDownloaderMgr() const;
    LiveCodeModuleManager *liveCodeModuleManager() const;

private slots:
    void sltUpdateAppStatus(QString name, int status);
    void sltUpdateDownloadProgress(QString name, int progress);
    void sltDownloadFinished(QString name, QString downloadedFile);
    void sltDownloadFailed(QString name);
    void sltLiveToolInstallProgress(QString name, int progress);
    void sltLiveToolInstallFinished(QString name);
    void sltLiveToolUnInstallFinished(QString name);
    void sltBroadcastMsg(QString url, QString code);
    void sltOpenLiveRoomResult(int res, QString msg);
    void sltLiveCodeModuleClose();

private:
    KyLogicFW() = default;
    void connectWorkers();

    KyLiveToolsManager *m_liveToolsManager = nullptr;
    IKyLogicListener *m_listener = nullptr;
    LiveCodeModuleManager *m_liveCodeModuleManager = nullptr;
};
