#pragma once

#include <QMutex>
#include <QObject>
#include <QString>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;

// Fetches one URL into one file. The body goes straight to "<target>.download"
// on every readyRead and replaces the target only once the transfer has
// succeeded. Lent out by KyFileDownloaderMgr under a download name; a transfer
// ends with sglDownloadFailed or sglDownloadFinished, always followed by
// sglFinished, after which the downloader goes back to the pool.
//
// sglDownloadFinished and sglDownloadFailed are emitted with the lock held:
// a receiver must not call download() or cancel() of the same downloader
// synchronously from its slot.
class KyFileDownloader : public QObject
{
    Q_OBJECT

public:
    explicit KyFileDownloader(QNetworkAccessManager *manager);
    ~KyFileDownloader() override;

    // A DownloadResult: DOWNLOAD_STARTED when signals will follow.
    int download(QString url, QString saveDir);
    // Drops a running transfer and its temporary file, then emits sglFinished.
    void cancel();
    // 0..100 while a transfer runs, -1 otherwise.
    int progress();
    void setName(QString name);
    void setForceDownload(bool force);

signals:
    void sglUpdateDownloadProgress(QString name, int progress);
    void sglDownloadFinished(QString name, QString downloadedFile);
    void sglDownloadFailed(QString name);
    void sglFinished(QString name);

public slots:
    void sltUpdateDataReadProgress(qint64 bytesRead, qint64 totalBytes);
    void sltDownloadFinished();
    void sltWriteToFile();

private:
    void dropTransfer();
    bool replaceTarget();

    QString m_name;
    bool m_busy = false;
    int m_progress = -1;
    bool m_forceDownload = false;
    bool m_writeFailed = false;
    QMutex m_lock;
    QString m_targetFile;
    QString m_tempFile;
    QFile *m_file = nullptr;
    QNetworkAccessManager *m_manager = nullptr;
    QNetworkReply *m_reply = nullptr;
};
