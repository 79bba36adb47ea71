#pragma once

// The real OBS Studio streaming to a private RTMP server: an X server of its
// own (Xvfb), nginx with its RTMP module on 127.0.0.1, and OBS started from
// the test's HOME. Linux only; every program is ended by its process id.

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

namespace obstest {

// Moves the process into a network namespace of its own with only a loopback
// interface, when it may (as root): OBS then cannot reach out, and the ports
// of the RTMP server cannot clash with anything else. The X servers' socket
// folder, which a network namespace does not separate, becomes one of its
// own too. Call before any thread starts. False when the process stays in
// the machine's namespace.
bool enterPrivateNetwork();

// One stream as the RTMP server's statistics page shows it.
struct ServerStream {
    QString application;
    QString name;           // the published name, without its "?" arguments and
                            // with each byte outside ASCII shown as a blank
    qint64 bytesIn = 0;
    bool publishing = false;
    QString videoCodec;
    int width = 0;
    int height = 0;
};

// What one "publish" told the server: the name and the arguments after "?".
struct Publication {
    QString name;
    QString args;
};

class ObsRig
{
public:
    ObsRig();
    ~ObsRig();
    ObsRig(const ObsRig &) = delete;
    ObsRig &operator=(const ObsRig &) = delete;

    // Starts Xvfb and nginx; the error says what failed.
    bool start(QString &error);

    // "rtmp://127.0.0.1:PORT/live", the server address streams go to.
    QString serverUrl() const;

    // Starts OBS with `arguments` (plus "--multi", so that a copy run by
    // someone else on the machine raises no prompt). Its output goes to a log
    // file in the rig's folder.
    bool startObs(const QStringList &arguments, QString &error);
    // Ends OBS by its process id: asked first, killed when it lingers.
    void stopObs();
    QString obsLog() const;

    // The streams the server has now; empty when the page cannot be read.
    QList<ServerStream> streams() const;
    // Waits up to `timeoutMs` for a stream published under `name` that
    // carries H.264 video; the stream found, or one with an empty name. The
    // page cannot tell names apart that differ outside ASCII:
    // publications() has the exact names.
    ServerStream waitForStream(const QString &name, int timeoutMs) const;
    // Every publish the server logged, oldest first.
    QList<Publication> publications() const;

    // Saves a screenshot, OBS's log and the server's log into `folder` and
    // returns a short description for a failure message.
    QString keepArtefacts(const QString &folder, const QString &caseName) const;

private:
    QString get(const QString &path) const;

    QTemporaryDir m_dir;
    QProcess m_xvfb;
    QProcess m_nginx;
    std::unique_ptr<QProcess> m_obs;
    QString m_display;
    int m_rtmpPort = 0;
    int m_httpPort = 0;
    int m_obsRuns = 0;
};

} // namespace obstest
