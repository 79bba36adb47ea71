#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// What the platform says about the newest VURuv: a small JSON object, signed
// as it is served (kyupdatecrypto.h). Only a description whose signature,
// fields and version all pass is ever acted on.
struct KyUpdateDescription
{
    QString version;    // "1.1.0"
    QString setupUrl;   // where the setup package is
    qint64 size = 0;    // the setup package's length in bytes
    QByteArray sha256;  // its SHA-256, 32 bytes
    QString notes;      // what changed, for the streamer (Chinese)
    QString minVersion; // the oldest version that may update to it
};

// The most the program reads of a description and of its signature; a
// longer (or endless) answer is cut off and refused.
constexpr qint64 kUpdateDescriptionMaxBytes = 64 * 1024;
constexpr qint64 kUpdateSignatureMaxBytes = 1024;
// The largest setup package the program accepts.
constexpr qint64 kUpdateSetupMaxBytes = 512LL * 1024 * 1024;

// Where the description and its detached signature are served.
QString updateDescriptionUrl();
QString updateSignatureUrl();
// The platform's page where a setup can be downloaded by hand.
QString updateManualDownloadUrl();

// A version "1.2.3" (a leading "V" or "v" allowed, as "deault.data" writes
// it) as its numbers; empty when the text is no such version.
QVector<int> parseVersion(const QString &text);
// -1, 0 or 1 as `a` is older than, equal to or newer than `b`; both must parse.
int compareVersions(const QString &a, const QString &b);

// Reads a description's fields. False and the reason in `problem` when the
// bytes are no JSON object or a field is missing, of the wrong type or out
// of its range.
bool parseUpdateDescription(const QByteArray &bytes, KyUpdateDescription *description, QString *problem);

// Why the setup may not be fetched from `url` ("" when it may): it must lie
// on the platform's download host, over HTTPS; the platform address the
// program was pointed at (the sandbox) counts as the platform's own with its
// own scheme.
QString setupUrlProblem(const QString &url);

// The whole judgement of an answer, in the order an attacker meets it: the
// signature of the exact bytes under `publicKeyPem`, the fields, the setup's
// address and size, then the versions: the description must offer a version
// newer than `currentVersion` (no downgrade, no replay of an old
// description) that may be reached from it. "" and the description filled in
// when all pass; otherwise why not, for the log, and `upToDate` set when the
// one thing wrong is a trusted description of a version not newer than ours.
QString judgeUpdateDescription(const QByteArray &bytes, const QByteArray &signature, const QString &currentVersion,
                               const QByteArray &publicKeyPem, KyUpdateDescription *description,
                               bool *upToDate = nullptr);
