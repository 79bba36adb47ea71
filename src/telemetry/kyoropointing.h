#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QPair>
#include <QString>
#include <QVector>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QThread;

// Usage ("pointing") events, one fire-and-forget HTTP POST each to the
// telemetry collector. Callers use reportEvent only, on the GUI thread.

// Event indexes; the names are the events' names on the wire.
enum PointingEventIndex : int {
    POINTING_STARTUP_LOADING = 0,     // "startup_loading": start of the first instance
    POINTING_ENDUP_QUIT = 1,          // "endup_quit": the tray's quit entry, with ("type", 1)
    POINTING_INIT_PAGE_HOME = 2,      // "init_page_home": the main window is built
    POINTING_CLICK_INSTALL = 3,       // "click_install", with ("type", tool code)
    POINTING_CLICK_INSTALL_SUCC = 4,  // "click_install_succ", with ("type", tool code)
    POINTING_CLICK_LIVETOOL_OPEN = 5, // "click_livetool_open", with ("type", tool code)
    POINTING_CLICK_INTRODUCE = 6,     // "click_introduce": a tutorial button
    POINTING_CLICK_CUST = 7,          // "click_cust": a customer-service button
    POINTING_CLICK_STREAM_GET = 8,    // "click_stream_get": "获取" of the live address dialog
    POINTING_CLICK_STREAM_FILLIN = 9, // "click_stream_fillin": "确认" of the live address dialog
    POINTING_EVENT_COUNT = 10,
};

// One event as built for sending; discarded once sent.
struct PointingEvent {
    int rid = 0;
    int i = 0;
    QString name;
    QString ct;
    QString pro;
    QString page;
    QString url;
    // The members of the envelope's "e" object, in order; a later pair with
    // the same key replaces an earlier one.
    QVector<QPair<QString, QJsonValue>> params;
};

// The event's name; "" for an index outside the table.
QString eventName(int index);
// "com_module" for the start and quit events, "page_home" for the others,
// "" outside the table.
QString eventPage(int index);

// The event for `index` as reportEvent sends it: the caller's parameter (if
// any) first, then the machine description of the start event ("pc_os",
// "cpu_num", "cpu_mod", "cpu_freq", "cpu_ven", "vc_mod") or the quit event
// ("pc_os").
PointingEvent pointingEvent(int index);
PointingEvent pointingEvent(int index, const QString &key, int value);

// Builds the event for `index` and sends it. The start event's machine
// description is gathered off the GUI thread (KyoroPointing::report).
void reportEvent(int index);
void reportEvent(int index, const QString &key, int value);

// The reporter: one per process, created by the first event and torn down
// with the other single objects (registerProcessCleanup). Replies are only
// logged.
class KyoroPointing : public QObject
{
    Q_OBJECT

public:
    static KyoroPointing *instance();
    static void destroyInstance();

    ~KyoroPointing() override;

    using EventBuilder = std::function<PointingEvent()>;

    // Sends the event `build` makes for `index`; returns at once. Describing
    // the machine for the start event can take long (a graphics adapter probe
    // costs a fifth of a second under some drivers), so that event is built on
    // a worker thread, started a second later so that it does not compete with
    // the start-up. Events reported meanwhile wait behind it and go out in the
    // order they were reported.
    void report(int index, EventBuilder build);

    // Posts the event's envelope to the event's url; returns at once.
    void send(const PointingEvent &event);

    // The envelope object of `event`, stamped with the current time.
    QJsonObject envelope(const PointingEvent &event) const;
    // "multi=" + Base64 of the compact JSON + "&v=1.0".
    static QByteArray requestBody(const QByteArray &compactJson);

    // The hardware address of the first non-loop-back interface that has an
    // IPv4 address other than 127.0.0.1; "" when none has.
    static QString findDeviceId();

signals:
    // A collector reply (or failure) has been examined.
    void sglPointingResultHandled();

public slots:
    void handlePointingResult(QNetworkReply *reply);

    // The collector's stall bound. Only tests shorten it; the program keeps
    // kRequestStallTimeoutMs.
    void setReplyStallTimeout(int ms) { m_stallTimeoutMs = ms; }

private:
    explicit KyoroPointing(const QString &appVersion);
    void sendDescribed();
    void ensureNetwork();

    QString m_appVersion;
    QString m_deviceId;
    QNetworkAccessManager *m_manager = nullptr;
    int m_stallTimeoutMs;
    // The worker building the start event, and what waits for it.
    QThread *m_describer = nullptr;
    PointingEvent m_described;
    QVector<QPair<int, EventBuilder>> m_held;
};
