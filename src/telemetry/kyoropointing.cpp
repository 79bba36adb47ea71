#include "telemetry/kyoropointing.h"

#include "common/kycleanup.h"
#include "common/kyhosts.h"
#include "common/kypaths.h"
#include "download/kyreplyguard.h"
#include "telemetry/kysysteminfo.h"

#include <QDateTime>
#include <QDebug>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <utility>

namespace {

KyoroPointing *s_instance = nullptr;

constexpr int kDescribeDelayMs = 1000;

const char *const kEventNames[POINTING_EVENT_COUNT] = {
    "startup_loading",    "endup_quit",      "init_page_home", "click_install",
    "click_install_succ", "click_livetool_open", "click_introduce", "click_cust",
    "click_stream_get",   "click_stream_fillin",
};

bool inTable(int index)
{
    return index >= 0 && index < POINTING_EVENT_COUNT;
}

PointingEvent baseEvent(int index)
{
    PointingEvent event;
    event.name = eventName(index);
    event.ct = QStringLiteral("web_vuruv");
    event.pro = QStringLiteral("host_site");
    event.page = eventPage(index);
    event.url = telemetryCollectorUrl();
    return event;
}

void addMachineDescription(PointingEvent &event, int index)
{
    if (index != POINTING_STARTUP_LOADING && index != POINTING_ENDUP_QUIT)
        return;
    QString os;
    osName(os);
    event.params.append({QStringLiteral("pc_os"), os});
    if (index != POINTING_STARTUP_LOADING)
        return;
    QString model;
    QString vendor;
    int count = 0;
    int mhz = 0;
    cpuInfo(model, vendor, count, mhz);
    const QStringList adapters = graphicsAdapters();
    event.params.append({QStringLiteral("cpu_num"), count});
    event.params.append({QStringLiteral("cpu_mod"), model});
    event.params.append({QStringLiteral("cpu_freq"), mhz});
    event.params.append({QStringLiteral("cpu_ven"), vendor});
    event.params.append({QStringLiteral("vc_mod"), adapters.value(0)});
}

} // namespace

QString eventName(int index)
{
    return inTable(index) ? QString::fromLatin1(kEventNames[index]) : QString();
}

QString eventPage(int index)
{
    if (!inTable(index))
        return QString();
    return index <= POINTING_ENDUP_QUIT ? QStringLiteral("com_module") : QStringLiteral("page_home");
}

PointingEvent pointingEvent(int index)
{
    PointingEvent event = baseEvent(index);
    addMachineDescription(event, index);
    return event;
}

PointingEvent pointingEvent(int index, const QString &key, int value)
{
    PointingEvent event = baseEvent(index);
    event.params.append({key, value});
    addMachineDescription(event, index);
    return event;
}

void reportEvent(int index)
{
    KyoroPointing::instance()->report(index, [index]() { return pointingEvent(index); });
}

void reportEvent(int index, const QString &key, int value)
{
    KyoroPointing::instance()->report(index, [index, key, value]() { return pointingEvent(index, key, value); });
}

KyoroPointing *KyoroPointing::instance()
{
    if (!s_instance) {
        s_instance = new KyoroPointing(::appVersion());
        registerProcessCleanup(&KyoroPointing::destroyInstance);
    }
    return s_instance;
}

void KyoroPointing::destroyInstance()
{
    delete s_instance;
    s_instance = nullptr;
}

KyoroPointing::KyoroPointing(const QString &appVersion)
    : m_appVersion(appVersion)
    , m_stallTimeoutMs(kRequestStallTimeoutMs)
{
}

// The interface list and the network stack are brought up by the first
// event that leaves, not by the reporter: the first events are reported
// while the window is being built, and only sent a second later.
void KyoroPointing::ensureNetwork()
{
    if (m_manager)
        return;
    m_deviceId = findDeviceId();
    m_manager = new QNetworkAccessManager(this);
    connect(m_manager, &QNetworkAccessManager::finished, this, &KyoroPointing::handlePointingResult);
}

KyoroPointing::~KyoroPointing()
{
    // A probe cannot be interrupted: wait for it. Its event and the ones held
    // behind it go with the reporter, as requests still in flight do.
    if (m_describer) {
        m_describer->wait();
        delete m_describer;
    }
    // Requests still in flight are aborted with the manager; their finished
    // signals must not reach a reporter that is half gone.
    if (m_manager) {
        disconnect(m_manager, nullptr, this, nullptr);
        delete m_manager;
    }
}

QString KyoroPointing::findDeviceId()
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &interface : interfaces) {
        if (interface.flags().testFlag(QNetworkInterface::IsLoopBack))
            continue;
        const QList<QNetworkAddressEntry> entries = interface.addressEntries();
        for (const QNetworkAddressEntry &entry : entries) {
            const QHostAddress address = entry.ip();
            if (address.protocol() == QAbstractSocket::IPv4Protocol && address != QHostAddress(QHostAddress::LocalHost))
                return interface.hardwareAddress();
        }
    }
    return QString();
}

QJsonObject KyoroPointing::envelope(const PointingEvent &event) const
{
    QJsonObject parameters;
    for (const auto &param : event.params)
        parameters.insert(param.first, param.second);

    QJsonObject object;
    object.insert(QStringLiteral("ac"), event.name);
    object.insert(QStringLiteral("av"), m_appVersion);
    object.insert(QStringLiteral("ct"), event.ct);
    object.insert(QStringLiteral("d"), m_deviceId);
    object.insert(QStringLiteral("dur"), 0);
    object.insert(QStringLiteral("e"), parameters);
    object.insert(QStringLiteral("i"), event.i);
    object.insert(QStringLiteral("pc"), event.page);
    object.insert(QStringLiteral("pro"), event.pro);
    object.insert(QStringLiteral("pt"), QDateTime::currentMSecsSinceEpoch());
    object.insert(QStringLiteral("oct"), QDateTime::currentMSecsSinceEpoch());
    object.insert(QStringLiteral("rid"), event.rid);
    object.insert(QStringLiteral("rpc"), event.page);
    return object;
}

QByteArray KyoroPointing::requestBody(const QByteArray &compactJson)
{
    return "multi=" + compactJson.toBase64() + "&v=1.0";
}

void KyoroPointing::report(int index, EventBuilder build)
{
    if (m_describer) {
        m_held.append({index, std::move(build)});
        return;
    }
    if (index != POINTING_STARTUP_LOADING) {
        send(build());
        return;
    }
    // The builder reads only the probe's locked caches and immutable values.
    m_describer = QThread::create([this, build = std::move(build)]() { m_described = build(); });
    m_describer->setObjectName(QStringLiteral("kyoro machine description"));
    connect(m_describer, &QThread::finished, this, &KyoroPointing::sendDescribed);
    // Started a moment later, when the window being built has been shown and
    // painted: the probe can cost more processor time than the window's first
    // paint (it may initialise a graphics driver), and the window comes first.
    QTimer::singleShot(kDescribeDelayMs, m_describer, [thread = m_describer]() { thread->start(); });
}

void KyoroPointing::sendDescribed()
{
    // finished() is queued to this thread; the worker is done with m_described.
    m_describer->wait();
    delete m_describer;
    m_describer = nullptr;
    send(std::exchange(m_described, PointingEvent()));
    // In order; a start event among them holds back the ones after it again.
    const QVector<QPair<int, EventBuilder>> held = std::exchange(m_held, {});
    for (const auto &event : held)
        report(event.first, event.second);
}

void KyoroPointing::send(const PointingEvent &event)
{
    ensureNetwork();
    const QByteArray json = QJsonDocument(envelope(event)).toJson(QJsonDocument::Compact);
    qDebug().noquote() << QString::fromUtf8(json);
    QNetworkRequest request{QUrl(event.url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    // The reply is read whole: bounded in size and in stall time.
    guardReply(m_manager->post(request, requestBody(json)), kTelemetryReplyMaxBytes, m_stallTimeoutMs, "telemetry");
}

void KyoroPointing::handlePointingResult(QNetworkReply *reply)
{
    // A failed request (an aborted one too) has no answer to read, whatever
    // part of a body it holds.
    const QByteArray body = reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
    reply->deleteLater();

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    const QJsonObject answer = document.object();
    const QJsonValue error = answer.value(QStringLiteral("error"));
    if (parseError.error == QJsonParseError::NoError && document.isObject() && error.isDouble()) {
        const int code = error.toInt(-1);
        if (code == 0) {
            emit sglPointingResultHandled();
            return;
        }
        const QJsonValue message = answer.value(QStringLiteral("msg"));
        if (code > 0 && message.isString()) {
            qDebug().noquote() << QStringLiteral("by mrwo, Kyoro pointing error: ") + message.toString();
            emit sglPointingResultHandled();
            return;
        }
    }
    qDebug().noquote() << QStringLiteral("by mrwo, Kyoro pointing error: unexpected HTTP response");
    emit sglPointingResultHandled();
}
