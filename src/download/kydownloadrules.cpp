#include "download/kydownloadrules.h"

#include "common/kypaths.h"
#include "platform/shell.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

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

QString downloadBodyProblem(const QString &url, const QByteArray &head, const QByteArray &contentType)
{
    const QString served = downloadTypeProblem(url, contentType);
    if (!served.isEmpty())
        return served;
    if (!isHtmlName(url) && looksLikeHtml(head))
        return QStringLiteral("an HTML page");
    // The type of the file by the URL's path; a query says nothing about it.
    const QString fileName = QUrl(url, QUrl::TolerantMode).fileName();
    if (hasSuffix(fileName, ".exe") && !kyplatform::isProgramImage(head.toStdString()))
        return QStringLiteral("not a program");
    if (hasSuffix(fileName, ".zip") && !head.startsWith("PK"))
        return QStringLiteral("not a zip archive");
    return QString();
}
