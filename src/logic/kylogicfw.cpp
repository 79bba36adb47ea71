#include "logic/kylogicfw.h"

#include "common/kycleanup.h"
#include "logic/ikylogiclistener.h"

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
    // service. seam: both workers are created by the tool-core and live-code
    // work; until then there is nothing to delete.
    m_liveToolsManager = nullptr;
    m_liveCodeModuleManager = nullptr;
}

void KyLogicFW::initialize()
{
    // seam: the live tools manager and the live code module manager are
    // created here, then connectWorkers() and the version file request.
    connectWorkers();
}

void KyLogicFW::connectWorkers()
{
    // seam: the workers' signals are connected here as each worker lands.
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
    // seam: returns KyFileDownloaderMgr::instance() once the downloader lands.
    return nullptr;
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
