#include "sandboxserver.h"

#include "kytestenv.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QThread>

#include <windows.h>

// A program under Wine cannot hold on to a Linux program it starts, so the
// server is started by the factory the Wine run keeps on the Linux side
// (tests/support/sandboxfactory.py), and lives as long as this connection.
bool SandboxServer::launch(const QStringList &arguments)
{
    const int factoryPort = kytest::readFile(kytest::binaryDir() + QStringLiteral("/sandboxfactory.port")).trimmed().toInt();
    if (factoryPort <= 0) {
        qWarning("no sandbox factory runs for this build (the fixture sandboxfactory starts it)");
        return false;
    }
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QStringLiteral("127.0.0.1"), quint16(factoryPort));
    if (!socket->waitForConnected(5000))
        return false;
    // Files as the server names them on its side.
    QStringList served;
    for (const QString &argument : arguments)
        served << (argument.startsWith(QLatin1String("--")) ? argument : serverPath(argument));
    socket->write(QJsonDocument(QJsonArray::fromStringList(served)).toJson(QJsonDocument::Compact) + '\n');
    m_link = std::move(socket);
    return true;
}

bool SandboxServer::linkAlive() const
{
    return static_cast<QTcpSocket *>(m_link.get())->state() == QAbstractSocket::ConnectedState;
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

// The server runs on the Linux side; Wine tells where a drive path lies there.
QString SandboxServer::serverPath(const QString &path)
{
    using UnixFileName = char *(CDECL *)(LPCWSTR);
    const auto unixFileName = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixFileName)
        return path;
    char *name = unixFileName(reinterpret_cast<LPCWSTR>(QDir::toNativeSeparators(path).utf16()));
    if (!name)
        return path;
    const QString result = QString::fromUtf8(name);
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}
