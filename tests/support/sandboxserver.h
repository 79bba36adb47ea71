#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

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
    // Sets the update the server offers (see platform_server.py,
    // POST /_sandbox/update); its file paths are this process's. An empty
    // object withdraws it.
    bool setUpdate(const QJsonObject &update);
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
    // Starts the server with these arguments; its output arrives on m_link
    // while linkAlive(); end() ends it. Linux runs it as a child process;
    // under Wine a factory on the Linux side runs it for as long as this
    // process keeps a connection open.
    bool launch(const QStringList &arguments);
    bool linkAlive() const;
    void end();
    // A file of this process as the server names it.
    static QString serverPath(const QString &path);

    std::unique_ptr<QIODevice> m_link;
    int m_port = 0;
    QString m_events;
};
