#include "obsrig.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QXmlStreamReader>

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace obstest {

namespace {

const char kRtmpModule[] = "/usr/lib/nginx/modules/ngx_rtmp_module.so";
const char kXSocketFolder[] = "/tmp/.X11-unix";

// A port nothing listens on right now.
int freePort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

QString program(const QString &name)
{
    // nginx lives in /usr/sbin, which a user's PATH may lack.
    QString path = QStandardPaths::findExecutable(name);
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return path;
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        // Waits with the event loop running, so that a process that ended
        // is seen as ended.
        QTest::qWait(100);
    }
    return true;
}

void stop(QProcess &process, int graceMs)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(graceMs)) {
        process.kill();
        process.waitForFinished(5000);
    }
}

} // namespace

bool enterPrivateNetwork()
{
    if (geteuid() != 0)
        return false;
    if (unshare(CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "no private network namespace (%s); using the machine's\n", std::strerror(errno));
        return false;
    }
    // A new namespace has its loopback interface down.
    const int sock = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request {};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = sock >= 0 && ioctl(sock, SIOCGIFFLAGS, &request) == 0
        && (request.ifr_flags |= IFF_UP, ioctl(sock, SIOCSIFFLAGS, &request) == 0);
    if (sock >= 0)
        close(sock);
    if (!up) {
        std::fprintf(stderr, "cannot bring up the loopback interface: %s\n", std::strerror(errno));
        return false;
    }
    // In a network of its own Xvfb finds every display number free (the
    // abstract sockets are the namespace's) and takes 0, but its socket file
    // lies in the machine's /tmp/.X11-unix: it would replace the socket of
    // another run's display 0 there and remove it on ending. A private
    // mount of that folder keeps the file the rig's own.
    mkdir(kXSocketFolder, 01777);
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0
        || mount("tmpfs", kXSocketFolder, "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") != 0)
        std::fprintf(stderr, "no private %s (%s): the rig's display may replace another's socket\n",
                     kXSocketFolder, std::strerror(errno));
    return true;
}

ObsRig::ObsRig()
    : m_dir(QDir::tempPath() + QStringLiteral("/kyobs-XXXXXX"))
{
}

ObsRig::~ObsRig()
{
    stopObs();
    stop(m_nginx, 5000);
    stop(m_xvfb, 5000);
}

bool ObsRig::start(QString &error)
{
    for (const char *name : {"Xvfb", "nginx", "obs"}) {
        if (program(QString::fromLatin1(name)).isEmpty()) {
            error = QStringLiteral("%1 is not installed").arg(QString::fromLatin1(name));
            return false;
        }
    }
    if (!QFile::exists(QString::fromLatin1(kRtmpModule))) {
        error = QStringLiteral("nginx's RTMP module is not installed");
        return false;
    }

    // Xvfb prints the display number it chose once it accepts clients.
    m_xvfb.setProcessChannelMode(QProcess::SeparateChannels);
    m_xvfb.setStandardErrorFile(m_dir.filePath(QStringLiteral("xvfb.log")));
    m_xvfb.start(program(QStringLiteral("Xvfb")),
                 {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
                  QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    if (!m_xvfb.waitForStarted(10000) || !waitUntil([this] {
            m_xvfb.waitForReadyRead(100);
            return m_xvfb.canReadLine();
        }, 20000)) {
        error = QStringLiteral("Xvfb did not start");
        return false;
    }
    m_display = QLatin1Char(':') + QString::fromLatin1(m_xvfb.readLine().trimmed());

    m_rtmpPort = freePort();
    m_httpPort = freePort();
    const QString dir = m_dir.path();
    const QString config = QStringLiteral(
                               "load_module %1;\n"
                               "worker_processes 1;\n"
                               "daemon off;\n"
                               "pid %2/nginx.pid;\n"
                               "error_log %2/nginx-error.log info;\n"
                               "events { worker_connections 64; }\n"
                               "rtmp { server { listen 127.0.0.1:%3; application live { live on; } } }\n"
                               "http {\n"
                               "  access_log off;\n"
                               "  client_body_temp_path %2/body; proxy_temp_path %2/proxy; fastcgi_temp_path %2/fcgi;\n"
                               "  uwsgi_temp_path %2/uwsgi; scgi_temp_path %2/scgi;\n"
                               "  server { listen 127.0.0.1:%4; location /stat { rtmp_stat all; } }\n"
                               "}\n")
                               .arg(QString::fromLatin1(kRtmpModule), dir)
                               .arg(m_rtmpPort)
                               .arg(m_httpPort);
    QFile file(m_dir.filePath(QStringLiteral("nginx.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config.toUtf8()) < 0) {
        error = QStringLiteral("cannot write the nginx configuration");
        return false;
    }
    file.close();
    m_nginx.setProcessChannelMode(QProcess::MergedChannels);
    m_nginx.setStandardOutputFile(m_dir.filePath(QStringLiteral("nginx.out")));
    m_nginx.start(program(QStringLiteral("nginx")),
                  {QStringLiteral("-p"), dir, QStringLiteral("-c"), file.fileName(), QStringLiteral("-e"),
                   m_dir.filePath(QStringLiteral("nginx-error.log"))});
    if (!m_nginx.waitForStarted(10000) || !waitUntil([this] { return get(QStringLiteral("/stat")).contains("<rtmp>"); }, 20000)) {
        QFile output(m_dir.filePath(QStringLiteral("nginx.out")));
        output.open(QIODevice::ReadOnly);
        error = QStringLiteral("nginx did not start: ") + QString::fromUtf8(output.readAll());
        return false;
    }
    return true;
}

QString ObsRig::serverUrl() const
{
    return QStringLiteral("rtmp://127.0.0.1:%1/live").arg(m_rtmpPort);
}

bool ObsRig::startObs(const QStringList &arguments, QString &error)
{
    stopObs();
    m_obs = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The test's HOME and XDG folders stay; the display is the rig's, drawn in
    // software, and the interface English.
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("DISPLAY"), m_display);
    env.insert(QStringLiteral("LIBGL_ALWAYS_SOFTWARE"), QStringLiteral("1"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    m_obs->setProcessEnvironment(env);
    m_obs->setWorkingDirectory(m_dir.path());
    m_obs->setProcessChannelMode(QProcess::MergedChannels);
    m_obs->setStandardOutputFile(m_dir.filePath(QStringLiteral("obs-%1.log").arg(++m_obsRuns)));
    m_obs->start(program(QStringLiteral("obs")), QStringList{QStringLiteral("--multi")} + arguments);
    if (!m_obs->waitForStarted(10000)) {
        error = QStringLiteral("OBS did not start: ") + m_obs->errorString();
        return false;
    }
    return true;
}

void ObsRig::stopObs()
{
    if (m_obs)
        stop(*m_obs, 5000);
    m_obs.reset();
}

QString ObsRig::obsLog() const
{
    QFile file(m_dir.filePath(QStringLiteral("obs-%1.log").arg(m_obsRuns)));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

QString ObsRig::get(const QString &path) const
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(m_httpPort));
    if (!socket.waitForConnected(2000))
        return QString();
    socket.write(QStringLiteral("GET %1 HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n").arg(path).toLatin1());
    QByteArray reply;
    while (socket.waitForReadyRead(2000))
        reply += socket.readAll();
    reply += socket.readAll();
    const int body = reply.indexOf("\r\n\r\n");
    return body < 0 ? QString() : QString::fromUtf8(reply.mid(body + 4));
}

QList<ServerStream> ObsRig::streams() const
{
    QList<ServerStream> found;
    QXmlStreamReader xml(get(QStringLiteral("/stat")));
    QString application;
    QStringList path;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            path << xml.name().toString();
            if (path.endsWith(QStringLiteral("stream"))) {
                found << ServerStream();
                found.last().application = application;
            }
            else if (path.endsWith(QStringLiteral("publishing")) && path.contains(QStringLiteral("stream")))
                found.last().publishing = true;
        } else if (xml.isEndElement()) {
            path.removeLast();
        } else if (xml.isCharacters() && !xml.isWhitespace() && !path.isEmpty()) {
            const QString text = xml.text().toString();
            const QString parent = path.value(path.size() - 2);
            const QString element = path.last();
            if (parent == QLatin1String("application") && element == QLatin1String("name")) {
                application = text;
            } else if (parent == QLatin1String("stream") && !found.isEmpty()) {
                if (element == QLatin1String("name"))
                    found.last().name = text;
                else if (element == QLatin1String("bytes_in"))
                    found.last().bytesIn = text.toLongLong();
            } else if (parent == QLatin1String("video") && !found.isEmpty()) {
                if (element == QLatin1String("codec"))
                    found.last().videoCodec = text;
                else if (element == QLatin1String("width"))
                    found.last().width = text.toInt();
                else if (element == QLatin1String("height"))
                    found.last().height = text.toInt();
            }
        }
    }
    return found;
}

ServerStream ObsRig::waitForStream(const QString &name, int timeoutMs) const
{
    // The statistics page shows each byte of a name outside ASCII as a blank.
    QByteArray shown = name.toUtf8();
    for (char &c : shown) {
        if (static_cast<unsigned char>(c) >= 0x80)
            c = ' ';
    }
    ServerStream result;
    waitUntil([&] {
        for (const ServerStream &stream : streams()) {
            if (stream.name == QLatin1String(shown) && stream.publishing && stream.bytesIn > 0
                && stream.videoCodec == QLatin1String("H264")) {
                result = stream;
                return true;
            }
        }
        // OBS gone: nothing more will come.
        return m_obs && m_obs->state() == QProcess::NotRunning;
    }, timeoutMs);
    return result;
}

QList<Publication> ObsRig::publications() const
{
    QFile file(m_dir.filePath(QStringLiteral("nginx-error.log")));
    QList<Publication> found;
    if (!file.open(QIODevice::ReadOnly))
        return found;
    static const QRegularExpression publish(QStringLiteral("publish: name='(.*)' args='(.*)' type="));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = publish.match(line);
        if (match.hasMatch())
            found << Publication {match.captured(1), match.captured(2)};
    }
    return found;
}

QString ObsRig::keepArtefacts(const QString &folder, const QString &caseName) const
{
    const QString target = folder + QLatin1Char('/') + caseName;
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    QProcess shot;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    shot.setProcessEnvironment(env);
    shot.start(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), target + QStringLiteral("/screen.png")});
    shot.waitForFinished(10000);
    QFile::copy(m_dir.filePath(QStringLiteral("obs-%1.log").arg(m_obsRuns)), target + QStringLiteral("/obs.log"));
    QFile::copy(m_dir.filePath(QStringLiteral("nginx-error.log")), target + QStringLiteral("/nginx-error.log"));
    return QStringLiteral("screenshot and logs kept in ") + target;
}

} // namespace obstest
