#include "sandboxserver.h"

#include "kytestenv.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QThread>
#include <QUuid>

SandboxServer::SandboxServer() = default;

SandboxServer::~SandboxServer()
{
    stop();
}

bool SandboxServer::start()
{
    m_events = kytest::testRoot() + QStringLiteral("/events-") + QUuid::createUuid().toString(QUuid::Id128) + QStringLiteral(".jsonl");
    if (!launch({QStringLiteral("--root"), kytest::sandboxDir() + QStringLiteral("/www"), QStringLiteral("--events"),
                 m_events}))
        return false;
    // The server's first line names its port; it prints it or ends. The
    // bound only stops a server that hangs: on a loaded machine (a build and
    // Wine beside the run) Python alone took more than 15 s to start.
    QByteArray line;
    QElapsedTimer clock;
    clock.start();
    while (!line.contains('\n') && clock.elapsed() < 120000) {
        if (!m_link->waitForReadyRead(500) && !linkAlive())
            break;
        line += m_link->readAll();
    }
    const QList<QByteArray> words = line.trimmed().split(' ');
    if (words.size() != 2 || words[0] != "port")
        return false;
    m_port = words[1].toInt();
    qputenv("KYORO_PLATFORM_URL", baseUrl().toUtf8());
    return m_port > 0;
}

void SandboxServer::stop()
{
    end();
    if (m_port)
        qputenv("KYORO_PLATFORM_URL", "http://127.0.0.1:9");
    m_port = 0;
}

QString SandboxServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

QString SandboxServer::url(const QString &path) const
{
    return baseUrl() + path;
}

QString SandboxServer::eventsFile() const
{
    return m_events;
}

bool SandboxServer::addRule(const QJsonObject &rule)
{
    int status = 0;
    QJsonObject served = rule;
    if (served.contains(QStringLiteral("body_file")))
        served.insert(QStringLiteral("body_file"), serverPath(served.value(QStringLiteral("body_file")).toString()));
    httpRequest(m_port, "POST", QStringLiteral("/_sandbox/rule"), QJsonDocument(served).toJson(QJsonDocument::Compact),
                &status);
    return status == 200;
}

bool SandboxServer::setUpdate(const QJsonObject &update)
{
    QJsonObject served = update;
    for (const QString &key : {QStringLiteral("setup_file"), QStringLiteral("serve_file")}) {
        if (served.contains(key))
            served.insert(key, serverPath(served.value(key).toString()));
    }
    int status = 0;
    httpRequest(m_port, "POST", QStringLiteral("/_sandbox/update"), QJsonDocument(served).toJson(QJsonDocument::Compact),
                &status);
    return status == 200;
}

bool SandboxServer::clearRules()
{
    int status = 0;
    httpRequest(m_port, "POST", QStringLiteral("/_sandbox/rules"), "[]", &status);
    return status == 200;
}

bool SandboxServer::reset()
{
    int status = 0;
    httpRequest(m_port, "POST", QStringLiteral("/_sandbox/reset"), QByteArray(), &status);
    return status == 200;
}

QList<QJsonObject> SandboxServer::collectorEvents() const
{
    QList<QJsonObject> result;
    QFile file(m_events);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.trimmed().isEmpty())
            continue;
        result.append(QJsonDocument::fromJson(line).object());
    }
    return result;
}

QList<QJsonObject> SandboxServer::envelopes() const
{
    QList<QJsonObject> result;
    const QList<QJsonObject> all = collectorEvents();
    for (const QJsonObject &event : all)
        result.append(event.value(QStringLiteral("envelope")).toObject());
    return result;
}

QStringList SandboxServer::eventNames() const
{
    QStringList names;
    const QList<QJsonObject> all = envelopes();
    for (const QJsonObject &envelope : all)
        names << envelope.value(QStringLiteral("ac")).toString();
    return names;
}

QJsonObject SandboxServer::waitForEvent(const QString &name, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    do {
        const QList<QJsonObject> all = envelopes();
        for (const QJsonObject &envelope : all) {
            if (envelope.value(QStringLiteral("ac")).toString() == name)
                return envelope;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    } while (!deadline.hasExpired());
    return QJsonObject();
}

QStringList SandboxServer::requests() const
{
    QStringList lines;
    const QByteArray all = httpRequest(m_port, "GET", QStringLiteral("/_sandbox/requests"));
    for (const QByteArray &line : all.split('\n')) {
        if (line.trimmed().isEmpty())
            continue;
        const QJsonObject request = QJsonDocument::fromJson(line).object();
        lines << request.value(QStringLiteral("method")).toString() + QLatin1Char(' ') + request.value(QStringLiteral("path")).toString();
    }
    return lines;
}

QStringList SandboxServer::rangesAsked(const QString &path) const
{
    QStringList ranges;
    const QByteArray all = httpRequest(m_port, "GET", QStringLiteral("/_sandbox/requests"));
    for (const QByteArray &line : all.split('\n')) {
        const QJsonObject request = QJsonDocument::fromJson(line).object();
        if (!request.isEmpty() && request.value(QStringLiteral("path")).toString() == path)
            ranges << request.value(QStringLiteral("range")).toString();
    }
    return ranges;
}

QByteArray SandboxServer::httpRequest(int port, const QByteArray &method, const QString &path, const QByteArray &body, int *status)
{
    if (status)
        *status = 0;
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    if (!socket.waitForConnected(5000))
        return QByteArray();
    QByteArray request = method + ' ' + path.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
    request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
    socket.write(request);
    socket.waitForBytesWritten(5000);
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(10000))
        answer += socket.readAll();
    answer += socket.readAll();
    const int headerEnd = answer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return QByteArray();
    const QList<QByteArray> statusLine = answer.left(answer.indexOf("\r\n")).split(' ');
    if (status && statusLine.size() > 1)
        *status = statusLine[1].toInt();
    return answer.mid(headerEnd + 4);
}
