#include "update/kyupdatedescription.h"

#include "common/kyhosts.h"
#include "update/kyupdatecrypto.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>
#include <QUrl>

namespace {
const QString kDescriptionPath = QStringLiteral("/client_download/VURuv/files/Update/VURuv.json");
// A version number has at most this many parts, each at most this large.
constexpr int kMaxVersionParts = 4;
constexpr int kMaxVersionNumber = 99999;
constexpr int kMaxNotesLength = 4000;
} // namespace

QString updateDescriptionUrl()
{
    return downloadServerUrl(kDescriptionPath);
}

QString updateSignatureUrl()
{
    return downloadServerUrl(kDescriptionPath + QStringLiteral(".sig"));
}

QString updateManualDownloadUrl()
{
    return webSiteUrl(QStringLiteral("/download/VURuv"));
}

QVector<int> parseVersion(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^[Vv]?(\\d{1,5}(?:\\.\\d{1,5}){1,3})$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return {};
    QVector<int> parts;
    const QStringList numbers = match.captured(1).split(QLatin1Char('.'));
    for (const QString &number : numbers) {
        const int value = number.toInt();
        if (value > kMaxVersionNumber || parts.size() == kMaxVersionParts)
            return {};
        parts.append(value);
    }
    // "1.2" and "1.2.0" name the same version.
    while (parts.size() < kMaxVersionParts)
        parts.append(0);
    return parts;
}

int compareVersions(const QString &a, const QString &b)
{
    const QVector<int> left = parseVersion(a);
    const QVector<int> right = parseVersion(b);
    for (int i = 0; i < kMaxVersionParts && i < left.size() && i < right.size(); ++i) {
        if (left[i] != right[i])
            return left[i] < right[i] ? -1 : 1;
    }
    return 0;
}

bool parseUpdateDescription(const QByteArray &bytes, KyUpdateDescription *description, QString *problem)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        *problem = QStringLiteral("not a JSON object");
        return false;
    }
    const QJsonObject object = document.object();
    const auto text = [&object](const char *key) {
        const QJsonValue value = object.value(QLatin1String(key));
        return value.isString() ? value.toString() : QString();
    };

    KyUpdateDescription parsed;
    parsed.version = text("version");
    parsed.minVersion = text("minVersion");
    parsed.setupUrl = text("setupUrl");
    parsed.notes = text("notes");
    if (parseVersion(parsed.version).isEmpty()) {
        *problem = QStringLiteral("no valid version");
        return false;
    }
    if (parseVersion(parsed.minVersion).isEmpty()) {
        *problem = QStringLiteral("no valid minimum version");
        return false;
    }
    if (parsed.setupUrl.isEmpty()) {
        *problem = QStringLiteral("no setup address");
        return false;
    }
    const QJsonValue size = object.value(QLatin1String("size"));
    // A JSON number is a double: whole numbers up to 2^53 are exact.
    const double sizeValue = size.toDouble(-1);
    if (!size.isDouble() || sizeValue < 1 || sizeValue > double(kUpdateSetupMaxBytes)
        || sizeValue != double(qint64(sizeValue))) {
        *problem = QStringLiteral("setup size missing or out of range");
        return false;
    }
    parsed.size = qint64(sizeValue);
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{64}$"));
    const QString sha = text("sha256");
    if (!hex.match(sha).hasMatch()) {
        *problem = QStringLiteral("no SHA-256 of 64 hex digits");
        return false;
    }
    parsed.sha256 = QByteArray::fromHex(sha.toLatin1());
    if (parsed.notes.size() > kMaxNotesLength)
        parsed.notes = parsed.notes.left(kMaxNotesLength);
    *description = parsed;
    return true;
}

QString setupUrlProblem(const QString &url)
{
    const QUrl setup(url, QUrl::StrictMode);
    if (!setup.isValid() || setup.host().isEmpty() || !setup.userInfo().isEmpty())
        return QStringLiteral("setup address is no valid URL");
    const QUrl platform(downloadServerUrl(QString()));
    if (setup.host().compare(platform.host(), Qt::CaseInsensitive) != 0)
        return QStringLiteral("setup address is not on the platform's host");
    if (setup.scheme() == QLatin1String("https") && (setup.port() == -1 || setup.port() == 443))
        return QString();
    // The address the program was pointed at, scheme and port as given.
    if (!platformOverride().isEmpty() && setup.scheme() == platform.scheme() && setup.port() == platform.port())
        return QString();
    return QStringLiteral("setup address is not HTTPS");
}

QString judgeUpdateDescription(const QByteArray &bytes, const QByteArray &signature, const QString &currentVersion,
                               const QByteArray &publicKeyPem, KyUpdateDescription *description, bool *upToDate)
{
    if (upToDate)
        *upToDate = false;
    if (bytes.size() > kUpdateDescriptionMaxBytes)
        return QStringLiteral("description longer than %1 bytes").arg(kUpdateDescriptionMaxBytes);
    if (!verifyEd25519(bytes, signature, publicKeyPem))
        return QStringLiteral("signature missing, malformed or not by the update key");
    KyUpdateDescription parsed;
    QString problem;
    if (!parseUpdateDescription(bytes, &parsed, &problem))
        return problem;
    problem = setupUrlProblem(parsed.setupUrl);
    if (!problem.isEmpty())
        return problem;
    if (compareVersions(parsed.version, currentVersion) <= 0) {
        if (upToDate)
            *upToDate = true;
        return QStringLiteral("version %1 is not newer than %2").arg(parsed.version, currentVersion);
    }
    if (compareVersions(currentVersion, parsed.minVersion) < 0)
        return QStringLiteral("version %1 cannot update from %2 (needs %3)")
            .arg(parsed.version, currentVersion, parsed.minVersion);
    *description = parsed;
    return QString();
}
