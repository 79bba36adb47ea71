#pragma once

#include "download/kyreplyguard.h"

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QUrl>

class QFile;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// Bounds of one download. Installers and the component archive keep the
// defaults; the component version file is a small request.
struct KyDownloadLimits
{
    // No byte for this long: the transfer has stalled.
    int stallTimeoutMs = kTransferStallTimeoutMs;
    // A body longer than this fails the download; negative for no cap.
    qint64 maxBytes = -1;
};

// Fetches one URL into one file. The body goes straight to "<target>.download"
// on every readyRead and replaces the target only once the transfer has
// succeeded and the body passed its checks (announced length, the kind of
// file its name promises, no HTML error page). Lent out by
// KyFileDownloaderMgr under a download name; a download ends with
// sglDownloadFailed or sglDownloadFinished, always followed by sglFinished,
// after which the downloader goes back to the pool.
//
// A transfer that breaks or stalls after bytes arrived is taken up again
// from the byte it reached (Range, guarded by If-Range with the first
// answer's validator), up to kMaxRetries times: at once when the broken
// request brought bytes, after a pause that grows with each request in a
// row that brought none; a server that sends the whole
// file again, or a different one, makes the download start over from zero,
// once. A body without a length is confirmed by asking for what follows it.
// None of this shows in the signals: callers see one download.
//
// sglDownloadFinished and sglDownloadFailed are emitted with the lock held:
// a receiver must not call download() or cancel() of the same downloader
// synchronously from its slot.
class KyFileDownloader : public QObject
{
    Q_OBJECT

public:
    static const int kMaxRetries = 3;

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
    // Applies to the next download().
    void setLimits(const KyDownloadLimits &limits);

signals:
    void sglUpdateDownloadProgress(QString name, int progress);
    void sglDownloadFinished(QString name, QString downloadedFile);
    void sglDownloadFailed(QString name);
    void sglFinished(QString name);

public slots:
    void sltUpdateDataReadProgress(qint64 bytesRead, qint64 totalBytes);
    void sltDownloadFinished();
    void sltWriteToFile();

private slots:
    void sltStalled();
    void sltRetry();

private:
    // What to do with the answer of the running request.
    enum class Answer { Pending, Keep, Discard };

    bool startRequest();
    bool judgeAnswer(QMutexLocker &locker);
    void adoptWholeBody();
    bool startOver(QMutexLocker &locker, const QString &why);
    bool writeBody(const QByteArray &data);
    void interrupted(QMutexLocker &locker, const QString &why, bool retryable);
    void askAgain(QMutexLocker &locker);
    void complete(QMutexLocker &locker);
    void fail(QMutexLocker &locker, const QString &why);
    void endDownload(QMutexLocker &locker);
    void dropReply();
    void dropTransfer();
    bool replaceTarget();

    QString m_name;
    bool m_busy = false;
    int m_progress = -1;
    bool m_forceDownload = false;
    KyDownloadLimits m_limits;
    KyDownloadLimits m_nextLimits;
    bool m_writeFailed = false;
    QMutex m_lock;
    QString m_targetFile;
    QString m_tempFile;
    QFile *m_file = nullptr;
    QNetworkAccessManager *m_manager = nullptr;
    QNetworkReply *m_reply = nullptr;

    // One download, over as many requests as it takes.
    QString m_url;
    QUrl m_source;
    qint64 m_received = 0;       // bytes in the temporary file
    qint64 m_expectedTotal = -1; // the whole file's length, -1 while unknown
    QByteArray m_validator;      // strong ETag or Last-Modified of the body kept
    bool m_validatorIsEtag = false;
    QByteArray m_contentType;    // as the body kept was served
    qint64 m_requestOffset = 0;  // where the running request starts
    Answer m_answer = Answer::Pending;
    int m_retries = 0;
    int m_fruitlessTries = 0;  // requests in a row that brought no byte
    bool m_startedOver = false;
    // A body without a length is confirmed once by asking for what follows.
    bool m_probed = false;
    bool m_probing = false;
    QTimer *m_stallTimer = nullptr;
    QTimer *m_retryTimer = nullptr;
};
