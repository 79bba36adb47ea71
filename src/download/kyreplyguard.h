#pragma once

#include <QtGlobal>

class QNetworkReply;

// Bounds on what the network may cost the program.

// A file transfer that receives no byte for this long has stalled.
constexpr int kTransferStallTimeoutMs = 30000;
// The same for small requests: the web API, the component version file and
// the telemetry collector.
constexpr int kRequestStallTimeoutMs = 15000;

// The most a reply may hold; past that the request is aborted.
constexpr qint64 kWebApiReplyMaxBytes = 1024 * 1024;
constexpr qint64 kTelemetryReplyMaxBytes = 64 * 1024;
constexpr qint64 kVersionFileMaxBytes = 64 * 1024;

// The length the answer being read announced, or -1 when it announced none.
// When Qt follows a redirect itself, the redirect's headers may have reached
// the reply first: Qt then appends the next answer's values to them
// ("0, 7000") and keeps the first Content-Length it saw as the parsed one.
// The last value of the raw header is the answer's own.
qint64 announcedLength(const QNetworkReply *reply);

// Watches a reply that is read whole when it finishes: it is aborted when its
// announced length or what arrived exceeds `maxBytes`, or when no byte moved
// in either direction for `stallTimeoutMs`. An aborted reply finishes with
// OperationCanceledError, so its owner sees a network error; why it was
// aborted goes to the log, under `what`.
void guardReply(QNetworkReply *reply, qint64 maxBytes, int stallTimeoutMs, const char *what);
