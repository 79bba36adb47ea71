#pragma once

#include "platform/shell.h"

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

// Why no file can be written into `saveDir` (a folder in Windows or local
// form): "" when one can; else it is missing and cannot be made, is no
// folder, or refuses a new file (the reason the system gives).
QString downloadFolderProblem(const QString &saveDir);
// What to tell the streamer when a download into `saveDir` did not start or
// failed: that the folder cannot be written, naming it, when so; else that
// the network may be down.
QString downloadFailedMessage(const QString &saveDir);

// What the body checks look at: the first and the last bytes of a file and
// its length.
struct KyBodySample
{
    QByteArray head; // the first kDownloadHeadBytes (all, when shorter)
    QByteArray tail; // the last kDownloadTailBytes (all, when shorter)
    qint64 size = 0;
};
// How many leading bytes the checks look at: what a program's headers need.
constexpr int kDownloadHeadBytes = int(kyplatform::kProgramHeadBytes);
// How many trailing bytes: a zip archive's end record with the longest comment.
constexpr int kDownloadTailBytes = 22 + 0xffff;

// The sample of the file at `path` (a local path); empty when it cannot be read.
KyBodySample sampleFile(const QString &path);

// Why a body may not be kept as the file of `url` ("" when it may), judged
// from its sample and the type it was served as (empty for a file that is
// already on disk): a program (".exe") must be a program this system starts
// (its headers, not two bytes: kyplatform::isProgramImage), a zip archive
// must begin like one and end with an end-of-central-directory record that
// describes this very file, and nothing but an HTML page may be an HTML page,
// whether served as one or looking like one.
QString downloadBodyProblem(const QString &url, const KyBodySample &body, const QByteArray &contentType);
// Those of the checks that need only the type the body is served as.
QString downloadTypeProblem(const QString &url, const QByteArray &contentType);
