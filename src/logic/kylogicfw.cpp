#include "logic/kylogicfw.h"

#include "common/kycleanup.h"
#include "common/kystartuptrace.h"
#include "livecode/livecodemodulemanager.h"
#include "livecode/livemgrservice.h"
#include "logic/ikylogiclistener.h"
#include "logic/kyappstatusmonitor.h"
#include "download/kyfiledownloader.h"
#include "download/kyfiledownloadermgr.h"
#include "logic/kylivetoolsmanager.h"

namespace {
KyLogicFW *s_instance = nullptr;
}

KyLogicFW *KyLogicFW::instance()
{
    // Created on the GUI thread by the main window; no lock needed.
    if (!s_instance) {
        s_instance = new KyLogicFW;
        registerProcessCleanup(&KyLogicFW::destroyInstance);
    }
    return s_instance;
}

void KyLogicFW::destroyInstance()
{
    delete s_instance;
    s_instance = nullptr;
}

KyLogicFW::~KyLogicFW()
{
    // Tools manager first, then the live code manager, which stops the RPC
    // service.
    delete m_liveToolsManager;
    m_liveToolsManager = nullptr;
    delete m_liveCodeModuleManager;
    m_liveCodeModuleManager = nullptr;
}

void KyLogicFW::initialize()
{
    if (!m_liveToolsManager) {
        m_liveToolsManager = new KyLiveToolsManager;
        m_liveToolsManager->initialize();
        kyStartupMark("hub: tools manager and status monitor ready");
    }
    // Its construction starts the RPC service the login component calls.
    if (!m_liveCodeModuleManager)
        m_liveCodeModuleManager = new LiveCodeModuleManager;
    kyStartupMark("hub: live code manager and its service ready");
    connectWorkers();
    // The version file is fetched anew at every start of the program.
    m_liveCodeModuleManager->requestVersionFile(fileDownloaderMgr());
}

void KyLogicFW::connectWorkers()
{
    // The monitor emits with its lock held, directly: a listener must post
    // any call back into it. The tools manager's signals are queued, so no
    // receiver runs while its task lock is held.
    connect(m_liveToolsManager->appStatusMonitor(), &KyAppStatusMonitor::sglUpdateAppStatus,
            this, &KyLogicFW::sltUpdateAppStatus);
    connect(m_liveToolsManager, &KyLiveToolsManager::sglLiveToolInstallProgress,
            this, &KyLogicFW::sltLiveToolInstallProgress, Qt::QueuedConnection);
    connect(m_liveToolsManager, &KyLiveToolsManager::sglLiveToolInstallFinished,
            this, &KyLogicFW::sltLiveToolInstallFinished, Qt::QueuedConnection);
    connect(m_liveToolsManager, &KyLiveToolsManager::sglLiveToolUnInstallFinished,
            this, &KyLogicFW::sltLiveToolUnInstallFinished, Qt::QueuedConnection);

    // The service emits on the RPC library's thread: automatic connections
    // bring its events to the GUI thread through the event queue.
    LiveMgrService *service = m_liveCodeModuleManager->service();
    connect(service, &LiveMgrService::sglBroadcastInfoMsg, this, &KyLogicFW::sltBroadcastMsg);
    connect(service, &LiveMgrService::sglOpenLiveRoomResult, this, &KyLogicFW::sltOpenLiveRoomResult);
    connect(service, &LiveMgrService::sglLiveCodeModuleClose, this, &KyLogicFW::sltLiveCodeModuleClose);

    // The pool is complete from the manager's creation on, so connecting
    // every downloader once covers every later download.
    const QList<KyFileDownloader *> downloaders = fileDownloaderMgr()->allDownloaders();
    for (KyFileDownloader *downloader : downloaders) {
        connect(downloader, &KyFileDownloader::sglUpdateDownloadProgress, this, &KyLogicFW::sltUpdateDownloadProgress);
        connect(downloader, &KyFileDownloader::sglDownloadFinished, this, &KyLogicFW::sltDownloadFinished);
        connect(downloader, &KyFileDownloader::sglDownloadFailed, this, &KyLogicFW::sltDownloadFailed);
    }
}

void KyLogicFW::setListener(IKyLogicListener *listener)
{
    m_listener = listener;
}

KyLiveToolsManager *KyLogicFW::liveToolsManager() const
{
    return m_liveToolsManager;
}

KyFileDownloaderMgr *KyLogicFW::fileDownloaderMgr() const
{
    return KyFileDownloaderMgr::instance();
}

LiveCodeModuleManager *KyLogicFW::liveCodeModuleManager() const
{
    return m_liveCodeModuleManager;
}

void KyLogicFW::sltUpdateAppStatus(QString name, int status)
{
    if (m_listener)
        m_listener->onUpdateAppStatus(name, status);
}

void KyLogicFW::sltUpdateDownloadProgress(QString name, int progress)
{
    if (m_listener)
        m_listener->onUpdateDownloadProgress(name, progress);
}

void KyLogicFW::sltDownloadFinished(QString name, QString downloadedFile)
{
    if (m_listener)
        m_listener->onDownloadFinished(name, downloadedFile);
}

void KyLogicFW::sltDownloadFailed(QString name)
{
    if (m_listener)
        m_listener->onDownloadFailed(name);
}

void KyLogicFW::sltLiveToolInstallProgress(QString name, int progress)
{
    if (m_listener)
        m_listener->onLiveToolInstallProgress(name, progress);
}

void KyLogicFW::sltLiveToolInstallFinished(QString name)
{
    if (m_listener)
        m_listener->onLiveToolInstallFinished(name);
}

void KyLogicFW::sltLiveToolUnInstallFinished(QString name)
{
    if (m_listener)
        m_listener->onLiveToolUnInstallFinished(name);
}

void KyLogicFW::sltBroadcastMsg(QString url, QString code)
{
    if (m_listener)
        m_listener->onBroadcastInfoMsg(url, code);
}

void KyLogicFW::sltOpenLiveRoomResult(int res, QString msg)
{
    if (m_listener)
        m_listener->onOpenLiveRoomResult(res, msg);
}

void KyLogicFW::sltLiveCodeModuleClose()
{
    if (m_listener)
        m_listener->onLiveCodeModuleClose();
}
