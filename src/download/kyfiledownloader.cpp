#include "download/kyfiledownloader.h"

#include "common/kyconstants.h"
#include "common/kypaths.h"
#include "download/kydownloadrules.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QTimer>

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

// The pause before asking again after a request that brought nothing,
// growing with each such request in a row: a dropped network gets a moment
// to come back. A request that brought bytes showed the server is there:
// the rest is asked for at once.
const int kRetryPauseMs[KyFileDownloader::kMaxRetries] = {250, 750, 2000};

// Breaks of the connection or of the server that another request may get
// past. Answers such as 404 or a refused redirect are final.
bool isTransient(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::ServiceUnavailableError:
        return true;
    default:
        return false;
    }
}

int httpStatus(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

// "bytes FIRST-LAST/TOTAL"; TOTAL may be "*" (reported as -1).
bool parseContentRange(const QByteArray &text, qint64 &first, qint64 &total)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*bytes\\s+(\\d+)-(\\d+)/(\\d+|\\*)\\s*$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(QString::fromLatin1(text));
    if (!match.hasMatch())
        return false;
    bool ok = false;
    first = match.captured(1).toLongLong(&ok);
    if (!ok)
        return false;
    total = match.captured(3) == QLatin1String("*") ? -1 : match.captured(3).toLongLong(&ok);
    return ok;
}

// Why a file already at `path` may not be taken as the download of `url`.
QString onDiskProblem(const QString &path, const QString &url)
{
    return downloadBodyProblem(url, sampleFile(nativePath(path)), QByteArray());
}
} // namespace

KyFileDownloader::KyFileDownloader(QNetworkAccessManager *manager)
    : m_manager(manager)
    , m_stallTimer(new QTimer(this))
    , m_retryTimer(new QTimer(this))
{
    m_stallTimer->setSingleShot(true);
    m_retryTimer->setSingleShot(true);
    connect(m_stallTimer, &QTimer::timeout, this, &KyFileDownloader::sltStalled);
    connect(m_retryTimer, &QTimer::timeout, this, &KyFileDownloader::sltRetry);
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

    // The local name is the text after the URL's last "/", query included;
    // one that could leave the save folder is refused.
    QString problem;
    const QString path = downloadTargetPath(saveDir, url, &problem);
    if (path.isEmpty()) {
        qWarning().noquote().nospace() << "by tq download " << m_name << " refused, unsafe file name (" << problem
                                       << ") in : " << url;
        return DOWNLOAD_BAD_URL;
    }
    if (dirExists(path) && !m_forceDownload) {
        // An error page kept by an older version, or a cut file, is no
        // installer to run: it is fetched again.
        problem = onDiskProblem(path, url);
        if (problem.isEmpty())
            return DOWNLOAD_FILE_EXISTS;
        qWarning().noquote().nospace() << "by tq download " << m_name << " fetches " << path
                                       << " again, the file there is " << problem;
    }

    m_targetFile = path;
    m_tempFile = path + QStringLiteral(".download");
    if (QFileInfo::exists(nativePath(m_tempFile)) || QFileInfo(nativePath(m_tempFile)).isSymLink())
        QFile::remove(nativePath(m_tempFile));

    m_file = new QFile(nativePath(m_tempFile));
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qCWarning(lcDownload) << "cannot open" << m_file->fileName() << m_file->errorString();
        dropTransfer();
        m_targetFile.clear();
        m_tempFile.clear();
        return DOWNLOAD_ERROR;
    }

    m_url = url;
    m_source = source;
    m_limits = m_nextLimits;
    m_received = 0;
    m_expectedTotal = -1;
    m_validator.clear();
    m_validatorIsEtag = false;
    m_contentType.clear();
    m_retries = 0;
    m_fruitlessTries = 0;
    m_startedOver = false;
    m_probed = false;
    m_probing = false;
    m_writeFailed = false;
    if (!startRequest()) {
        dropTransfer();
        QFile::remove(nativePath(m_tempFile));
        m_targetFile.clear();
        m_tempFile.clear();
        return DOWNLOAD_ERROR;
    }
    m_progress = 0;
    m_busy = true;
    return DOWNLOAD_STARTED;
}

// Called with the lock held. Asks for the rest of the file from the byte the
// temporary file has reached, or for all of it.
bool KyFileDownloader::startRequest()
{
    QNetworkRequest request(m_source);
    // Qt does not follow redirects by itself: a 301/302 would otherwise end
    // as a successful transfer of the redirect page.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    // The bytes as the server keeps them. Qt asks for gzip by default and
    // unpacks it itself: lengths and ranges would then count bytes of a
    // compressed body this downloader never sees, and every resume or length
    // probe against a server that compresses would ask for the wrong bytes.
    request.setRawHeader("Accept-Encoding", "identity");
    if (m_received > 0) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_received) + '-');
        // The rest only if the file is still the one begun; otherwise the
        // server sends it whole. (Without a validator no range is asked.)
        if (!m_validator.isEmpty())
            request.setRawHeader("If-Range", m_validator);
    }
    m_requestOffset = m_received;
    m_answer = Answer::Pending;
    m_reply = m_manager->get(request);
    if (!m_reply)
        return false;
    // Set before the request leaves the event loop, so the network thread
    // applies it from the first byte on.
    m_reply->setReadBufferSize(kReadBufferBytes);
    connect(m_reply, &QNetworkReply::readyRead, this, &KyFileDownloader::sltWriteToFile);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &KyFileDownloader::sltUpdateDataReadProgress);
    connect(m_reply, &QNetworkReply::finished, this, &KyFileDownloader::sltDownloadFinished);
    m_stallTimer->start(m_limits.stallTimeoutMs);
    return true;
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

void KyFileDownloader::setLimits(const KyDownloadLimits &limits)
{
    m_nextLimits = limits;
}

void KyFileDownloader::sltUpdateDataReadProgress(qint64 bytesRead, qint64 totalBytes)
{
    if (sender() && sender() != m_reply)
        return;
    if (bytesRead > 0)
        m_stallTimer->start(m_limits.stallTimeoutMs);
    // The running request covers the file from m_requestOffset on. Progress
    // never goes back, not even when the download starts over.
    if (totalBytes > 0) {
        const int percent = int((m_requestOffset + bytesRead) * 100 / (m_requestOffset + totalBytes));
        m_progress = qBound(m_progress, percent, 100);
    }
    emit sglUpdateDownloadProgress(m_name, m_progress);
}

void KyFileDownloader::sltWriteToFile()
{
    QMutexLocker locker(&m_lock);
    if (!m_file || !m_reply || (sender() && sender() != m_reply))
        return;
    if (m_answer == Answer::Pending && !judgeAnswer(locker))
        return;
    if (m_answer != Answer::Keep) {
        // Not the file (an error page, a redirect's body): read and dropped.
        m_reply->readAll();
        return;
    }
    m_stallTimer->start(m_limits.stallTimeoutMs);
    if (!writeBody(m_reply->readAll()))
        fail(locker, QStringLiteral("longer than %1 bytes").arg(m_limits.maxBytes));
}

// Called with the lock held, with what the running request delivered.
// False when the body went past the size limit.
bool KyFileDownloader::writeBody(const QByteArray &data)
{
    if (data.isEmpty())
        return true;
    m_received += data.size();
    if (m_limits.maxBytes >= 0 && m_received > m_limits.maxBytes)
        return false;
    if (!m_writeFailed && m_file->write(data) != data.size()) {
        // A short write would leave a truncated installer that looks
        // complete; the download is failed when the transfer ends.
        qCWarning(lcDownload) << "write failed" << m_file->fileName() << m_file->errorString();
        m_writeFailed = true;
    }
    return true;
}

// Called with the lock held, once the running request's answer has its
// headers: decides whether its body is (the rest of) the file. False when
// the download went on otherwise (started over, or failed).
bool KyFileDownloader::judgeAnswer(QMutexLocker &locker)
{
    const int status = httpStatus(m_reply);
    // No headers yet, or a redirect on its way.
    if (status == 0 || (status >= 300 && status < 400))
        return true;
    if (m_probing && status >= 200 && status < 300) {
        m_probing = false;
        if (status != 206) {
            // A server that answers the probe with the whole file cannot
            // tell whether anything is missing: the body stands as it came.
            dropReply();
            complete(locker);
            return false;
        }
        qCInfo(lcDownload).noquote().nospace() << m_name << ": the body without a length ended early at "
                                               << m_received << " bytes, taking up the rest";
    }
    if (status >= 400) {
        m_answer = Answer::Discard;
        return true;
    }
    if (status == 206) {
        qint64 first = -1;
        qint64 total = -1;
        const bool parsed = parseContentRange(m_reply->rawHeader("Content-Range"), first, total);
        const QByteArray validator = m_reply->rawHeader(m_validatorIsEtag ? "ETag" : "Last-Modified");
        if (m_requestOffset == 0 || !parsed || first != m_requestOffset)
            return startOver(locker, QStringLiteral("the server sent another part of the file"));
        if ((total >= 0 && m_expectedTotal >= 0 && total != m_expectedTotal)
            || (!validator.isEmpty() && validator != m_validator))
            return startOver(locker, QStringLiteral("the file changed on the server"));
        if (m_expectedTotal < 0)
            m_expectedTotal = total;
    } else if (m_requestOffset > 0) {
        // The server ignored the range, or the file changed (If-Range): this
        // is the whole file again, from its first byte.
        if (m_startedOver)
            return startOver(locker, QStringLiteral("the server sent the whole file again"));
        qCInfo(lcDownload).noquote().nospace() << m_name << ": the server sent the whole file again, starting over";
        m_startedOver = true;
        m_file->resize(0);
        m_file->seek(0);
        m_received = 0;
        m_requestOffset = 0;
    }
    if (status != 206)
        adoptWholeBody();
    if (m_limits.maxBytes >= 0 && m_expectedTotal > m_limits.maxBytes) {
        fail(locker, QStringLiteral("announced %1 bytes, more than %2").arg(m_expectedTotal).arg(m_limits.maxBytes));
        return false;
    }
    const QByteArray type = m_reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    const QString problem = downloadTypeProblem(m_url, type);
    if (!problem.isEmpty()) {
        fail(locker, problem);
        return false;
    }
    m_contentType = type;
    m_answer = Answer::Keep;
    return true;
}

// Called with the lock held for an answer with the whole file: its length
// and validator are what later requests must match.
void KyFileDownloader::adoptWholeBody()
{
    m_expectedTotal = announcedLength(m_reply);
    const QByteArray etag = m_reply->rawHeader("ETag");
    // A weak ETag cannot guard a range (RFC 7233); Last-Modified can.
    m_validatorIsEtag = !etag.isEmpty() && !etag.startsWith("W/");
    m_validator = m_validatorIsEtag ? etag : m_reply->rawHeader("Last-Modified");
}

// Called with the lock held when an answer cannot continue the file: the
// temporary file is emptied and the whole file asked for again, once per
// download. False in every case, since the running answer is dropped.
bool KyFileDownloader::startOver(QMutexLocker &locker, const QString &why)
{
    if (m_startedOver) {
        fail(locker, why);
        return false;
    }
    qCInfo(lcDownload).noquote().nospace() << m_name << ": " << why << ", starting over";
    m_startedOver = true;
    dropReply();
    m_file->resize(0);
    m_file->seek(0);
    m_received = 0;
    m_expectedTotal = -1;
    if (!startRequest())
        fail(locker, QStringLiteral("no request"));
    return false;
}

void KyFileDownloader::sltStalled()
{
    QMutexLocker locker(&m_lock);
    if (!m_busy || !m_reply)
        return;
    qWarning().noquote().nospace() << "by tq download " << m_name << " stalled: no data for "
                                   << m_limits.stallTimeoutMs << " ms at " << m_received << " bytes";
    interrupted(locker, QStringLiteral("stalled"), true);
}

void KyFileDownloader::sltDownloadFinished()
{
    QMutexLocker locker(&m_lock);
    // Replies of dropped transfers are disconnected; anything else that
    // still calls in is not this downloader's transfer.
    if (sender() && sender() != m_reply)
        return;
    if (!m_busy || !m_reply) {
        m_progress = -1;
        m_busy = false;
        endDownload(locker);
        return;
    }
    m_stallTimer->stop();
    const QNetworkReply::NetworkError error = m_reply->error();
    const int status = httpStatus(m_reply);
    const bool transient = isTransient(error);
    if (m_probing && status == 416) {
        // Nothing follows the bytes we have: the file is complete, unless
        // the server names another length.
        qint64 first = -1;
        qint64 total = -1;
        const QByteArray range = m_reply->rawHeader("Content-Range").replace("*", "0-0");
        if (parseContentRange(range, first, total) && total != m_received)
            fail(locker, QStringLiteral("the file changed on the server"));
        else
            complete(locker);
        return;
    }
    if (error == QNetworkReply::NoError || transient) {
        // What arrived before a break is part of the file all the same.
        if (m_answer == Answer::Pending && !judgeAnswer(locker))
            return;
        if (m_answer == Answer::Keep && !writeBody(m_reply->readAll())) {
            fail(locker, QStringLiteral("longer than %1 bytes").arg(m_limits.maxBytes));
            return;
        }
    }
    if (m_writeFailed) {
        fail(locker, QStringLiteral("cannot write the file"));
        return;
    }
    if (error != QNetworkReply::NoError) {
        interrupted(locker, QStringLiteral("network error %1, HTTP status %2").arg(int(error)).arg(status), transient);
        return;
    }
    // A redirect that was not followed (no Location) is not the file.
    if (m_answer != Answer::Keep) {
        fail(locker, QStringLiteral("no file in the answer, HTTP status %1").arg(status));
        return;
    }
    if (m_expectedTotal >= 0 && m_received < m_expectedTotal) {
        interrupted(locker, QStringLiteral("ended at %1 of %2 bytes").arg(m_received).arg(m_expectedTotal), true);
        return;
    }
    if (m_expectedTotal >= 0 && m_received > m_expectedTotal) {
        fail(locker, QStringLiteral("%1 bytes where %2 were announced").arg(m_received).arg(m_expectedTotal));
        return;
    }
    if (m_expectedTotal < 0 && !m_validator.isEmpty() && !m_probed) {
        // Without a length, a connection that closed early looks like the
        // end of the body (and Qt may take a cut chunked body for a whole
        // one). Asking for what follows tells: nothing (416), or the rest.
        m_probed = true;
        m_probing = true;
        dropReply();
        if (!startRequest())
            fail(locker, QStringLiteral("no request"));
        return;
    }
    complete(locker);
}

// Called with the lock held when the running request broke. Asks again,
// after a pause, when another request may get past the break and the
// download has got somewhere (or is already being retried).
void KyFileDownloader::interrupted(QMutexLocker &locker, const QString &why, bool retryable)
{
    const bool progressed = m_received > m_requestOffset;
    if (!retryable || m_retries >= kMaxRetries || (m_received == 0 && m_retries == 0)) {
        fail(locker, why);
        return;
    }
    dropReply();
    m_fruitlessTries = progressed ? 0 : m_fruitlessTries + 1;
    ++m_retries;
    if (progressed) {
        qCInfo(lcDownload).noquote().nospace() << m_name << ": " << why << " at " << m_received << " bytes; try "
                                               << m_retries << " of " << kMaxRetries << " at once";
        askAgain(locker);
        return;
    }
    const int pause = kRetryPauseMs[qMin(m_fruitlessTries, int(kMaxRetries)) - 1];
    qCInfo(lcDownload).noquote().nospace() << m_name << ": " << why << " at " << m_received << " bytes; try "
                                           << m_retries << " of " << kMaxRetries << " in " << pause << " ms";
    m_retryTimer->start(pause);
}

void KyFileDownloader::sltRetry()
{
    QMutexLocker locker(&m_lock);
    if (!m_busy || m_reply || !m_file)
        return;
    askAgain(locker);
}

// Called with the lock held, no request running: asks for the rest.
void KyFileDownloader::askAgain(QMutexLocker &locker)
{
    if (m_received > 0 && m_validator.isEmpty()) {
        // Nothing tells whether the file on the server is still the one
        // begun, and a range of a changed file would be spliced onto it: it
        // is fetched whole, once per download, as when it changed.
        if (m_startedOver) {
            fail(locker, QStringLiteral("broken again, and nothing tells whether the file is still the same"));
            return;
        }
        qCInfo(lcDownload).noquote().nospace() << m_name << ": no validator to resume with, starting over";
        m_startedOver = true;
        m_file->resize(0);
        m_file->seek(0);
        m_received = 0;
        m_expectedTotal = -1;
    }
    if (!startRequest())
        fail(locker, QStringLiteral("no request"));
}

// Called with the lock held once the whole body is in the temporary file.
void KyFileDownloader::complete(QMutexLocker &locker)
{
    if (!m_file->flush()) {
        fail(locker, QStringLiteral("cannot write the file"));
        return;
    }
    // Judged on the file as written, closed.
    dropTransfer();
    const QString problem = downloadBodyProblem(m_url, sampleFile(nativePath(m_tempFile)), m_contentType);
    if (!problem.isEmpty()) {
        fail(locker, problem);
        return;
    }
    if (!replaceTarget()) {
        fail(locker, QStringLiteral("cannot move %1 onto %2").arg(m_tempFile, m_targetFile));
        return;
    }
    m_progress = -1;
    emit sglDownloadFinished(m_name, m_targetFile);
    qDebug().noquote().nospace() << "by tq download " << m_name << " success";
    m_busy = false;
    endDownload(locker);
}

// Called with the lock held: the download ends without a file. The temporary
// file goes, an older target stays.
void KyFileDownloader::fail(QMutexLocker &locker, const QString &why)
{
    m_progress = -1;
    dropTransfer();
    if (!m_tempFile.isEmpty())
        QFile::remove(nativePath(m_tempFile));
    qCWarning(lcDownload).noquote().nospace() << m_name << ": " << why;
    emit sglDownloadFailed(m_name);
    qWarning().noquote().nospace() << "by tq download " << m_name << " failed";
    m_busy = false;
    endDownload(locker);
}

// Unlocks and hands the downloader back: sglFinished is emitted without the
// lock, so that the manager may lend it again at once.
void KyFileDownloader::endDownload(QMutexLocker &locker)
{
    const QString name = m_name;
    m_targetFile.clear();
    m_tempFile.clear();
    locker.unlock();
    emit sglFinished(name);
}

// Called with the lock held: ends the running request, keeps the file.
void KyFileDownloader::dropReply()
{
    m_stallTimer->stop();
    if (m_reply) {
        // Disconnected first, so that nothing of it reaches this downloader
        // once it may be lent again. Deleting a reply ends its transfer; an
        // abort() here could race a failure Qt is already reporting.
        disconnect(m_reply, nullptr, this, nullptr);
        m_reply->deleteLater();
        m_reply = nullptr;
    }
}

// Called with the lock held.
void KyFileDownloader::dropTransfer()
{
    dropReply();
    m_retryTimer->stop();
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
