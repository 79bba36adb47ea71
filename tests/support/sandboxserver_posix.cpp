#include "sandboxserver.h"

#include "kytestenv.h"

#include <QProcess>

bool SandboxServer::launch(const QStringList &arguments)
{
    auto process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral("python3"),
                   QStringList{kytest::sourceDir() + QStringLiteral("/sandbox/platform_server.py")} + arguments);
    if (!process->waitForStarted(10000))
        return false;
    m_link = std::move(process);
    return true;
}

bool SandboxServer::linkAlive() const
{
    return static_cast<QProcess *>(m_link.get())->state() == QProcess::Running;
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
