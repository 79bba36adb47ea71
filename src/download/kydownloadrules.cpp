#include "download/kydownloadrules.h"

#include "common/kypaths.h"
#include "common/kytexts.h"
#include "platform/shell.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QTemporaryFile>
#include <QUrl>

Q_LOGGING_CATEGORY(lcDownloadRules, "kyoro.download")

namespace {

QString nameProblem(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("empty name");
    bool onlyDotsAndBlanks = true;
    for (const QChar c : name) {
        const ushort code = c.unicode();
        // C0, DEL and C1 controls, and the separators of any system we run on.
        if (code < 0x20 || (code >= 0x7f && code < 0xa0))
            return QStringLiteral("control character");
        if (c == QLatin1Char('\\') || c == QLatin1Char('/'))
            return QStringLiteral("path separator");
        if (c == QLatin1Char(':'))
            return QStringLiteral("colon (drive or stream)");
        if (c != QLatin1Char('.') && c != QLatin1Char(' '))
            onlyDotsAndBlanks = false;
    }
    // ".", ".." and, since Windows drops trailing dots and blanks, "..." or
    // ". ." name the folder itself or its parent.
    if (onlyDotsAndBlanks)
        return QStringLiteral("dots and blanks only");
    return QString();
}

bool hasSuffix(const QString &fileName, const char *suffix)
{
    return fileName.endsWith(QLatin1String(suffix), Qt::CaseInsensitive);
}

bool isHtmlName(const QString &url)
{
    const QString fileName = QUrl(url, QUrl::TolerantMode).fileName();
    return hasSuffix(fileName, ".html") || hasSuffix(fileName, ".htm");
}

bool looksLikeHtml(const QByteArray &head)
{
    const QByteArray start = head.trimmed().left(16).toLower();
    return start.startsWith("<!doctype html") || start.startsWith("<html");
}

quint64 littleEndian(const QByteArray &bytes, int at, int count)
{
    quint64 value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes.at(at + i));
    return value;
}

// A zip archive begins with a local file header (or, empty, with its end
// record) and ends with an end-of-central-directory record whose comment
// reaches exactly to the end of the file and whose central directory lies
// before it, beginning with a central directory header.
bool isZipArchive(const KyBodySample &body)
{
    const bool empty = body.head.startsWith(QByteArrayLiteral("PK\x05\x06"));
    if (!body.head.startsWith(QByteArrayLiteral("PK\x03\x04")) && !empty)
        return false;
    const qint64 tailStart = body.size - body.tail.size();
    for (int at = body.tail.size() - 22; at >= 0; --at) {
        if (body.tail.at(at) != 'P' || !body.tail.mid(at, 4).startsWith(QByteArrayLiteral("PK\x05\x06")))
            continue;
        const qint64 record = tailStart + at;
        const quint64 directorySize = littleEndian(body.tail, at + 12, 4);
        const quint64 directoryOffset = littleEndian(body.tail, at + 16, 4);
        const quint64 commentLength = littleEndian(body.tail, at + 20, 2);
        if (record + 22 + qint64(commentLength) != body.size)
            continue;
        if (directoryOffset == 0xffffffffu || directorySize == 0xffffffffu) {
            // Zip64: its locator stands right before the record.
            return at >= 20 && body.tail.mid(at - 20, 4) == QByteArrayLiteral("PK\x06\x07");
        }
        if (directoryOffset + directorySize > quint64(record))
            return false;
        if (directorySize == 0)
            return empty;
        const qint64 inTail = qint64(directoryOffset) - tailStart;
        if (inTail >= 0)
            return body.tail.mid(int(inTail), 4) == QByteArrayLiteral("PK\x01\x02");
        if (directoryOffset + 4 <= quint64(body.head.size()))
            return body.head.mid(int(directoryOffset), 4) == QByteArrayLiteral("PK\x01\x02");
        return true;
    }
    return false;
}

} // namespace

QString downloadFileName(const QString &url, QString *problem)
{
    const QString raw = url.mid(url.lastIndexOf(QLatin1Char('/')) + 1);
    QString why = nameProblem(raw);
    if (why.isEmpty())
        why = nameProblem(QUrl::fromPercentEncoding(raw.toUtf8()));
    if (problem)
        *problem = why;
    return why.isEmpty() ? raw : QString();
}

QString downloadTargetPath(const QString &saveDir, const QString &url, QString *problem)
{
    const QString name = downloadFileName(url, problem);
    if (name.isEmpty())
        return QString();
    const QString path = saveDir + QLatin1Char('/') + name;
    // The mapping of Windows-form paths may turn characters of the folder
    // into separators; the file must still be a direct child of the folder.
    const QString folder = QDir::cleanPath(QDir(nativePath(saveDir)).absolutePath());
    const QFileInfo target(QDir::cleanPath(QDir(nativePath(saveDir)).absoluteFilePath(nativePath(path))));
    if (target.absolutePath() != folder || target.fileName() != name) {
        if (problem)
            *problem = QStringLiteral("outside the save folder");
        return QString();
    }
    return path;
}

QString downloadTypeProblem(const QString &url, const QByteArray &contentType)
{
    if (!isHtmlName(url) && contentType.trimmed().toLower().startsWith("text/html"))
        return QStringLiteral("served as an HTML page");
    return QString();
}

QString downloadFolderProblem(const QString &saveDir)
{
    const QString folder = nativePath(saveDir);
    const QFileInfo info(folder);
    if (!info.exists() && !QDir().mkpath(folder))
        return QStringLiteral("cannot be created");
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("not a folder");
    QTemporaryFile probe(folder + QStringLiteral("/.kywrite-XXXXXX"));
    if (!probe.open())
        return probe.errorString();
    return QString();
}

QString downloadFailedMessage(const QString &saveDir)
{
    const QString problem = downloadFolderProblem(saveDir);
    if (problem.isEmpty())
        return MSG_DOWNLOAD_FAILED;
    qCWarning(lcDownloadRules).noquote() << "the download folder" << saveDir << "cannot be written:" << problem;
    return MSG_DOWNLOAD_DIR_NOT_WRITABLE.arg(QDir::toNativeSeparators(saveDir));
}

KyBodySample sampleFile(const QString &path)
{
    KyBodySample sample;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return sample;
    sample.size = file.size();
    sample.head = file.read(kDownloadHeadBytes);
    if (sample.size > kDownloadHeadBytes && file.seek(qMax<qint64>(0, sample.size - kDownloadTailBytes)))
        sample.tail = file.read(kDownloadTailBytes);
    else
        sample.tail = sample.head.right(kDownloadTailBytes);
    return sample;
}

QString downloadBodyProblem(const QString &url, const KyBodySample &body, const QByteArray &contentType)
{
    const QString served = downloadTypeProblem(url, contentType);
    if (!served.isEmpty())
        return served;
    if (!isHtmlName(url) && looksLikeHtml(body.head))
        return QStringLiteral("an HTML page");
    // The type of the file by the URL's path; a query says nothing about it.
    const QString fileName = QUrl(url, QUrl::TolerantMode).fileName();
    if (hasSuffix(fileName, ".exe") && !kyplatform::isProgramImage(body.head.toStdString(), quint64(qMax<qint64>(0, body.size))))
        return QStringLiteral("not a program");
    if (hasSuffix(fileName, ".zip") && !isZipArchive(body))
        return QStringLiteral("not a zip archive");
    return QString();
}
