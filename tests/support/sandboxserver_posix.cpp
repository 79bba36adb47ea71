#include "sandboxserver.h"

#include "kytestenv.h"

#include <QElapsedTimer>
#include <QProcess>

QByteArray SandboxServer::launch(const QStringList &arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral("python3"),
                   QStringList{kytest::sourceDir() + QStringLiteral("/sandbox/platform_server.py")} + arguments);
    if (!process->waitForStarted(10000))
        return QByteArray();
    QByteArray line;
    QElapsedTimer clock;
    clock.start();
    while (!line.contains('\n') && clock.elapsed() < 15000) {
        if (!process->waitForReadyRead(500) && process->state() != QProcess::Running)
            break;
        line += process->readAllStandardOutput();
    }
    m_link = std::move(process);
    return line;
}

void SandboxServer::end()
{
    auto *process = static_cast<QProcess *>(m_link.get());
    if (process && process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(5000);
    }
    m_link.reset();
}

QString SandboxServer::serverPath(const QString &path)
{
    return path;
}
