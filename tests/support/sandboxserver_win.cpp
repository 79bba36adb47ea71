#include "sandboxserver.h"

#include "kytestenv.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QThread>

// A program under Wine cannot hold on to a Linux program it starts, so the
// server is started by the factory the Wine run keeps on the Linux side
// (tests/support/sandboxfactory.py), and lives as long as this connection.
QByteArray SandboxServer::launch(const QStringList &arguments)
{
    const int factoryPort = kytest::readFile(kytest::binaryDir() + QStringLiteral("/sandboxfactory.port")).trimmed().toInt();
    if (factoryPort <= 0) {
        qWarning("no sandbox factory runs for this build (the fixture sandboxfactory starts it)");
        return QByteArray();
    }
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QStringLiteral("127.0.0.1"), quint16(factoryPort));
    if (!socket->waitForConnected(5000))
        return QByteArray();
    socket->write(QJsonDocument(QJsonArray::fromStringList(arguments)).toJson(QJsonDocument::Compact) + '\n');
    QByteArray line;
    QElapsedTimer clock;
    clock.start();
    while (!line.contains('\n') && clock.elapsed() < 15000) {
        if (!socket->waitForReadyRead(500) && socket->state() != QAbstractSocket::ConnectedState)
            break;
        line += socket->readAll();
    }
    m_link = std::move(socket);
    return line;
}

void SandboxServer::end()
{
    if (auto *socket = static_cast<QTcpSocket *>(m_link.get())) {
        socket->abort();
        // The factory ends the server when it sees the connection close;
        // the next start must not meet it on its way out.
        QElapsedTimer clock;
        clock.start();
        while (m_port && clock.elapsed() < 5000) {
            QTcpSocket probe;
            probe.connectToHost(QStringLiteral("127.0.0.1"), quint16(m_port));
            if (!probe.waitForConnected(200))
                break;
            probe.abort();
            QThread::msleep(20);
        }
    }
    m_link.reset();
}
