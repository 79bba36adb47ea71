#pragma once

#include <QList>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>

#include "download/kyfiledownloader.h"

class QNetworkAccessManager;

// The process-wide pool of 20 downloaders, all created up front and sharing
// one network access manager. A downloader is lent under a download name (a
// tool's display name or a component name) for one transfer and comes back
// when it emits sglFinished.
class KyFileDownloaderMgr : public QObject
{
    Q_OBJECT

public:
    static const int kPoolSize = 20;

    static KyFileDownloaderMgr *instance();
    // Deletes the manager and its downloaders; a later instance() starts afresh.
    static void destroyInstance();

    ~KyFileDownloaderMgr() override;

    // A DownloadResult. DOWNLOAD_NO_DOWNLOADER when the name is already being
    // downloaded or every downloader is lent out. `limits` bound the stall
    // time and the size of this download.
    int startDownload(QString name, QString url, QString saveDir, bool force,
                      const KyDownloadLimits &limits = KyDownloadLimits());
    void cancelDownload(QString name);
    // The progress of the named download, -1 when the name is not active.
    int downloadProgress(QString name);
    // All downloaders: the free ones front to back, then the lent ones in
    // name order.
    QList<KyFileDownloader *> allDownloaders();

public slots:
    void sltFinished(QString name);

private:
    KyFileDownloaderMgr();
    KyFileDownloader *acquireDownloader(const QString &name);

    QList<KyFileDownloader *> m_pool;
    QMap<QString, KyFileDownloader *> m_active;
    QMutex m_lock;
    QNetworkAccessManager *m_manager = nullptr;
};
