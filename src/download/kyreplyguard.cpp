#include "download/kyreplyguard.h"

#include <QLoggingCategory>
#include <QNetworkReply>
#include <QTimer>

Q_LOGGING_CATEGORY(lcReplyGuard, "kyoro.network")

void guardReply(QNetworkReply *reply, qint64 maxBytes, int stallTimeoutMs, const char *what)
{
    if (!reply)
        return;
    // A child of the reply: it goes when the reply goes.
    auto *stall = new QTimer(reply);
    stall->setSingleShot(true);
    stall->setInterval(stallTimeoutMs);

    const auto abortFor = [reply, what](const char *why, qint64 bytes) {
        if (reply->isFinished())
            return;
        qCWarning(lcReplyGuard).nospace() << what << " request aborted: " << why << " (" << bytes << " bytes)";
        reply->abort();
    };
    const auto oversized = [maxBytes](qint64 bytes) { return maxBytes >= 0 && bytes > maxBytes; };

    QObject::connect(stall, &QTimer::timeout, reply, [abortFor, reply]() {
        abortFor("stalled", reply->bytesAvailable());
    });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, stall, [=]() {
        const qint64 announced = announcedLength(reply);
        if (oversized(announced))
            abortFor("announced length over the cap", announced);
    });
    // The reply holds at most one byte past the cap: Qt stops reading there,
    // and readyRead (which Qt does not throttle, unlike downloadProgress)
    // sees it.
    if (maxBytes >= 0)
        reply->setReadBufferSize(maxBytes + 1);
    QObject::connect(reply, &QNetworkReply::readyRead, stall, [=]() {
        stall->start();
        if (oversized(reply->bytesAvailable()))
            abortFor("reply over the cap", reply->bytesAvailable());
    });
    QObject::connect(reply, &QNetworkReply::downloadProgress, stall, [stall]() { stall->start(); });
    QObject::connect(reply, &QNetworkReply::uploadProgress, stall, [stall]() { stall->start(); });
    QObject::connect(reply, &QNetworkReply::finished, stall, &QTimer::stop);
    stall->start();
}

qint64 announcedLength(const QNetworkReply *reply)
{
    const QByteArray raw = reply->rawHeader("Content-Length");
    bool known = false;
    const qint64 length = raw.mid(raw.lastIndexOf(',') + 1).trimmed().toLongLong(&known);
    return known && length >= 0 ? length : -1;
}
