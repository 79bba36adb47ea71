#pragma once

#include <QByteArray>
#include <QString>

// What the downloader accepts from the network, in free functions without
// state, so that a fuzz target or a window can apply the same rules.

// The local file name of a download: the text after the URL's last "/",
// query included, as it comes. Refused ("" and the reason in `problem`) when
// that text, as it is or percent-decoded, is empty, ".", "..", made of dots
// and blanks only, or holds "\", "/", ":" or a control character: such a
// name could leave the save folder (a backslash is a separator on Windows and
// becomes one in the path mapping elsewhere), or name a drive, a stream or a
// device.
QString downloadFileName(const QString &url, QString *problem = nullptr);

// The path a download of `url` into `saveDir` lands at: saveDir + "/" +
// downloadFileName(url). "" (and the reason) when the name is refused or when
// the path, mapped to the local file system, does not lie directly inside the
// mapped save folder.
QString downloadTargetPath(const QString &saveDir, const QString &url, QString *problem = nullptr);

// Why a body may not be kept as the file of `url` ("" when it may), judged
// from its first bytes and the type it was served as (empty for a file that
// is already on disk): a program (".exe") must begin like a program of this
// system, a zip archive with "PK", and nothing but an HTML page may be an
// HTML page, whether served as one or looking like one.
QString downloadBodyProblem(const QString &url, const QByteArray &head, const QByteArray &contentType);
// Those of the checks that need only the type the body is served as.
QString downloadTypeProblem(const QString &url, const QByteArray &contentType);

// How many leading bytes downloadBodyProblem looks at.
constexpr int kDownloadHeadBytes = 256;
