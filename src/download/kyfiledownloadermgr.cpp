#include "download/kyfiledownloadermgr.h"

#include "common/kycleanup.h"
#include "common/kyconstants.h"
#include "download/kyfiledownloader.h"

#include <QDebug>
#include <QMutexLocker>
#include <QNetworkAccessManager>

namespace {
KyFileDownloaderMgr *s_instance = nullptr;
}

KyFileDownloaderMgr *KyFileDownloaderMgr::instance()
{
    // Created on the GUI thread; the network access manager must be gone
    // before the application object, hence the cleanup registration.
    if (!s_instance) {
        s_instance = new KyFileDownloaderMgr;
        registerProcessCleanup(&KyFileDownloaderMgr::destroyInstance);
    }
    return s_instance;
}

void KyFileDownloaderMgr::destroyInstance()
{
    delete s_instance;
    s_instance = nullptr;
}

KyFileDownloaderMgr::KyFileDownloaderMgr()
    : m_manager(new QNetworkAccessManager)
{
    // The whole pool exists before anyone can ask for it: the logic hub
    // connects every downloader once, right after creating this manager.
    for (int i = 0; i < kPoolSize; ++i) {
        auto *downloader = new KyFileDownloader(m_manager);
        connect(downloader, &KyFileDownloader::sglFinished, this, &KyFileDownloaderMgr::sltFinished);
        m_pool.append(downloader);
    }
}

KyFileDownloaderMgr::~KyFileDownloaderMgr()
{
    {
        QMutexLocker locker(&m_lock);
        qDeleteAll(m_pool);
        qDeleteAll(m_active);
        m_pool.clear();
        m_active.clear();
    }
    delete m_manager;
}

KyFileDownloader *KyFileDownloaderMgr::acquireDownloader(const QString &name)
{
    QMutexLocker locker(&m_lock);
    if (m_active.contains(name))
        return nullptr;
    if (m_pool.isEmpty()) {
        qWarning().noquote() << "by tq download cache is empty";
        return nullptr;
    }
    KyFileDownloader *downloader = m_pool.takeFirst();
    downloader->setName(name);
    m_active.insert(name, downloader);
    return downloader;
}

int KyFileDownloaderMgr::startDownload(QString name, QString url, QString saveDir, bool force,
                                       const KyDownloadLimits &limits)
{
    KyFileDownloader *downloader = acquireDownloader(name);
    if (!downloader)
        return DOWNLOAD_NO_DOWNLOADER;
    downloader->setForceDownload(force);
    downloader->setLimits(limits);
    const int result = downloader->download(url, saveDir);
    // Without a transfer the downloader goes straight back to the pool:
    // cancel() emits sglFinished.
    if (result != DOWNLOAD_STARTED)
        downloader->cancel();
    return result;
}

void KyFileDownloaderMgr::cancelDownload(QString name)
{
    KyFileDownloader *downloader = nullptr;
    {
        QMutexLocker locker(&m_lock);
        downloader = m_active.value(name);
    }
    if (downloader)
        downloader->cancel();
}

int KyFileDownloaderMgr::downloadProgress(QString name)
{
    QMutexLocker locker(&m_lock);
    KyFileDownloader *downloader = m_active.value(name);
    return downloader ? downloader->progress() : -1;
}

QList<KyFileDownloader *> KyFileDownloaderMgr::allDownloaders()
{
    QMutexLocker locker(&m_lock);
    QList<KyFileDownloader *> all = m_pool;
    all.append(m_active.values());
    return all;
}

void KyFileDownloaderMgr::sltFinished(QString name)
{
    QMutexLocker locker(&m_lock);
    KyFileDownloader *downloader = m_active.value(name);
    if (!downloader)
        return;
    // Only the downloader lent under this name may give the name back.
    auto *from = qobject_cast<KyFileDownloader *>(sender());
    if (from && from != downloader)
        return;
    m_pool.append(downloader);
    m_active.remove(name);
}
