#include "download/kyfiledownloader.h"

#include "common/kyconstants.h"
#include "common/kypaths.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

Q_LOGGING_CATEGORY(lcDownload, "kyoro.download")

namespace {
// Enough for a download server behind a load balancer or a mirror; a loop
// ends as an error instead of running forever.
const int kMaxRedirects = 5;

// What a reply may hold before this downloader has written it out. Without a
// bound, Qt's network thread reads as fast as the connection delivers and
// queues everything for the GUI thread: when the GUI thread is busy, or
// slower than the network, the whole file ends up in memory. On loopback,
// 1 MiB transfers as fast as larger bounds and faster than smaller ones,
// which hand over between the threads more often.
const qint64 kReadBufferBytes = 1024 * 1024;
}

KyFileDownloader::KyFileDownloader(QNetworkAccessManager *manager)
    : m_manager(manager)
{
}

KyFileDownloader::~KyFileDownloader()
{
    QMutexLocker locker(&m_lock);
    dropTransfer();
    if (!m_tempFile.isEmpty())
        QFile::remove(nativePath(m_tempFile));
    m_busy = false;
}

int KyFileDownloader::download(QString url, QString saveDir)
{
    if (!m_manager)
        return DOWNLOAD_ERROR;

    QMutexLocker locker(&m_lock);
    if (m_busy)
        return DOWNLOAD_BUSY;

    const QUrl source(url, QUrl::TolerantMode);
    if (!source.isValid()) {
        qWarning().noquote().nospace() << "by tq download " << m_name << " failed,source not exist : " << url;
        return DOWNLOAD_BAD_URL;
    }

    // The local name is the text after the URL's last "/", query included.
    const QString path = saveDir + QLatin1Char('/') + QFileInfo(url).fileName();
    if (dirExists(path) && !m_forceDownload)
        return DOWNLOAD_FILE_EXISTS;

    QNetworkRequest request(source);
    // Qt does not follow redirects by itself: a 301/302 would otherwise end
    // as a successful transfer of the redirect page.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    m_reply = m_manager->get(request);
    if (!m_reply)
        return DOWNLOAD_ERROR;
    // Set before the request leaves the event loop, so the network thread
    // applies it from the first byte on.
    m_reply->setReadBufferSize(kReadBufferBytes);
    connect(m_reply, &QNetworkReply::readyRead, this, &KyFileDownloader::sltWriteToFile);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &KyFileDownloader::sltUpdateDataReadProgress);
    connect(m_reply, &QNetworkReply::finished, this, &KyFileDownloader::sltDownloadFinished);

    m_targetFile = path;
    m_tempFile = path + QStringLiteral(".download");
    if (QFileInfo::exists(nativePath(m_tempFile)))
        QFile::remove(nativePath(m_tempFile));

    m_file = new QFile(nativePath(m_tempFile));
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcDownload) << "cannot open" << m_file->fileName() << m_file->errorString();
        dropTransfer();
        m_targetFile.clear();
        m_tempFile.clear();
        return DOWNLOAD_ERROR;
    }
    m_writeFailed = false;
    m_progress = 0;
    m_busy = true;
    return DOWNLOAD_STARTED;
}

void KyFileDownloader::cancel()
{
    QString name;
    {
        QMutexLocker locker(&m_lock);
        m_progress = -1;
        dropTransfer();
        // Only the temporary file of this downloader's own transfer; an
        // earlier transfer's path may belong to another downloader by now.
        if (!m_tempFile.isEmpty())
            QFile::remove(nativePath(m_tempFile));
        m_targetFile.clear();
        m_tempFile.clear();
        m_busy = false;
        name = m_name;
    }
    emit sglFinished(name);
}

int KyFileDownloader::progress()
{
    // Not locked: read by the user interface while the lock may be held for
    // an emission of this downloader.
    return m_progress;
}

void KyFileDownloader::setName(QString name)
{
    QMutexLocker locker(&m_lock);
    m_name = name;
}

void KyFileDownloader::setForceDownload(bool force)
{
    m_forceDownload = force;
}

void KyFileDownloader::sltUpdateDataReadProgress(qint64 bytesRead, qint64 totalBytes)
{
    if (totalBytes > 0)
        m_progress = int(bytesRead * 100 / totalBytes);
    emit sglUpdateDownloadProgress(m_name, m_progress);
}

void KyFileDownloader::sltWriteToFile()
{
    QMutexLocker locker(&m_lock);
    if (!m_file || !m_reply)
        return;
    const QByteArray data = m_reply->readAll();
    if (!m_writeFailed && m_file->write(data) != data.size()) {
        // A short write would leave a truncated installer that looks
        // complete; the transfer is failed when it finishes.
        qCWarning(lcDownload) << "write failed" << m_file->fileName() << m_file->errorString();
        m_writeFailed = true;
    }
}

void KyFileDownloader::sltDownloadFinished()
{
    QString name;
    {
        QMutexLocker locker(&m_lock);
        // Replies of dropped transfers are disconnected; anything else that
        // still calls in is not this downloader's transfer.
        if (sender() && sender() != m_reply)
            return;
        m_progress = -1;
        name = m_name;
        if (m_busy) {
            const QNetworkReply::NetworkError error = m_reply ? m_reply->error() : QNetworkReply::UnknownNetworkError;
            const int status = m_reply ? m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
            if (m_reply && m_file && error == QNetworkReply::NoError) {
                const QByteArray rest = m_reply->readAll();
                if (!rest.isEmpty() && m_file->write(rest) != rest.size())
                    m_writeFailed = true;
            }
            if (m_file && !m_file->flush())
                m_writeFailed = true;
            dropTransfer();

            // A redirect that was not followed (no Location) is not the file.
            const bool redirected = status >= 300 && status < 400;
            bool ok = error == QNetworkReply::NoError && !redirected && !m_writeFailed;
            if (ok && !replaceTarget()) {
                qCWarning(lcDownload) << "cannot move" << m_tempFile << "onto" << m_targetFile;
                ok = false;
            }
            if (ok) {
                emit sglDownloadFinished(name, m_targetFile);
                qDebug().noquote().nospace() << "by tq download " << name << " success";
            } else {
                qCDebug(lcDownload) << "network error" << error << "status" << status;
                QFile::remove(nativePath(m_tempFile));
                emit sglDownloadFailed(name);
                qWarning().noquote().nospace() << "by tq download " << name << " failed";
            }
            m_targetFile.clear();
            m_tempFile.clear();
        }
        m_busy = false;
    }
    emit sglFinished(name);
}

// Called with the lock held.
void KyFileDownloader::dropTransfer()
{
    if (m_reply) {
        // Disconnected before the abort, so that neither the abort nor a late
        // finished reaches this downloader once it may be lent again.
        disconnect(m_reply, nullptr, this, nullptr);
        if (!m_reply->isFinished())
            m_reply->abort();
        m_reply->deleteLater();
        m_reply = nullptr;
    }
    if (m_file) {
        if (m_file->isOpen()) {
            m_file->flush();
            m_file->close();
        }
        delete m_file;
        m_file = nullptr;
    }
}

// Moves the finished temporary file onto the target. An older target is set
// aside first and put back if the move fails, so it survives a failure.
bool KyFileDownloader::replaceTarget()
{
    const QString target = nativePath(m_targetFile);
    const QString temp = nativePath(m_tempFile);
    const QFileInfo targetInfo(target);
    if (targetInfo.isDir())
        return false;

    QString backup;
    if (targetInfo.exists() || targetInfo.isSymLink()) {
        backup = temp + QStringLiteral(".old");
        QFile::remove(backup);
        if (!QFile::rename(target, backup))
            return false;
    }
    if (!QFile::rename(temp, target)) {
        if (!backup.isEmpty())
            QFile::rename(backup, target);
        return false;
    }
    if (!backup.isEmpty())
        QFile::remove(backup);
    return true;
}
