// The rules for what a download may be called and kept as, on URLs and
// bodies a server chose. Input: URL, NUL, first bytes of a body, NUL, its
// content type. A name that passes must be the URL's last segment, hold
// nothing that could leave the save folder (as it is or percent-decoded),
// and give a target directly inside the save folder, in local and in
// Windows form.

#include "common/kypaths.h"
#include "download/kydownloadrules.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool safeText(const QString &name)
{
    bool onlyDotsAndBlanks = true;
    for (const QChar c : name) {
        const ushort code = c.unicode();
        if (code < 0x20 || (code >= 0x7f && code < 0xa0) || c == QLatin1Char('\\') || c == QLatin1Char('/')
            || c == QLatin1Char(':'))
            return false;
        if (c != QLatin1Char('.') && c != QLatin1Char(' '))
            onlyDotsAndBlanks = false;
    }
    return !name.isEmpty() && !onlyDotsAndBlanks;
}

void checkTarget(const QString &saveDir, const QString &url, const QString &name)
{
    const QString path = downloadTargetPath(saveDir, url);
    if (path.isEmpty())
        return;
    check(path == saveDir + QLatin1Char('/') + name);
    const QFileInfo target(QDir::cleanPath(nativePath(path)));
    check(target.absolutePath() == QDir::cleanPath(QDir(nativePath(saveDir)).absolutePath()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), int(size));
    const QList<QByteArray> parts = input.split('\0');
    const QString url = QString::fromUtf8(parts.value(0));

    QString problem;
    const QString name = downloadFileName(url, &problem);
    check(name.isEmpty() != problem.isEmpty());
    if (!name.isEmpty()) {
        check(name == url.mid(url.lastIndexOf(QLatin1Char('/')) + 1));
        check(safeText(name));
        check(safeText(QUrl::fromPercentEncoding(name.toUtf8())));
        checkTarget(QStringLiteral("/tmp/kyfuzz/download"), url, name);
        checkTarget(QStringLiteral("D:\\Kyoro\\download"), url, name);
    }
    // Judging a body never fails on what it is given.
    KyBodySample body;
    const QByteArray bytes = parts.value(1);
    body.head = bytes.left(kDownloadHeadBytes);
    body.tail = bytes.right(kDownloadTailBytes);
    body.size = bytes.size();
    downloadBodyProblem(url, body, parts.value(2));
    return 0;
}
