#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QString>

// Starts sandbox/platform_server.py on a free port, serving the build's
// sandbox files, and points KYORO_PLATFORM_URL at it for this process (and the
// processes it starts). Stopped in the destructor.
class SandboxServer
{
public:
    SandboxServer();
    ~SandboxServer();

    bool start();
    void stop();

    int port() const { return m_port; }
    QString baseUrl() const;            // "http://127.0.0.1:PORT"
    QString url(const QString &path) const;
    QString eventsFile() const;          // JSON lines, one decoded event each

    // Adds one rule (see platform_server.py), replaces all, or clears all.
    bool addRule(const QJsonObject &rule);
    bool clearRules();
    // Forgets the rules, the requests seen and the telemetry events.
    bool reset();

    // Collector records received so far, in order: {"raw", "json",
    // "envelope", "content_type"} (or "error" when the body did not decode).
    QList<QJsonObject> collectorEvents() const;
    // Decoded telemetry envelopes received so far, in order.
    QList<QJsonObject> envelopes() const;
    // Names ("ac") of the events received so far.
    QStringList eventNames() const;
    // Waits until an event named `name` arrived; returns it (empty on time-out).
    QJsonObject waitForEvent(const QString &name, int timeoutMs = 10000) const;

    // Request lines seen by the server ("GET /path").
    QStringList requests() const;
    // The Range header of each request for `path` so far, in order; "" for a
    // request without one.
    QStringList rangesAsked(const QString &path) const;

    // Blocking HTTP request to the server, for control and for checks.
    static QByteArray httpRequest(int port, const QByteArray &method, const QString &path,
                                  const QByteArray &body = QByteArray(), int *status = nullptr);

private:
    QProcess m_process;
    int m_port = 0;
    QString m_events;
};
