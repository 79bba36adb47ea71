#pragma once

#include "platform/shell.h"
#include "update/kyupdatedescription.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVariant>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// VURuv's own updates: when to look for one, whether to trust what the
// platform answers, when to offer it, and the download and start of the
// setup. The windows only show what it emits and pass on the streamer's
// answers; the managed tools' status reaches it through sltToolStatus (the
// status monitor's signal, as the hub's listener relays it).
//
// Live-safe rule: while a managed tool runs, nothing happens on its own: no
// offer, no download, no install. An automatic offer waits until no tool has
// run for a minute (or the streamer quits VURuv); a manual check offers at
// once and says the update will wait, and the streamer may go ahead anyway.
//
// What it keeps between runs (the "updateSetting" file in the per-user data
// folder): whether automatic checks are on, the version the streamer skipped,
// the version last offered and when, and the version a started setup was to
// install, which the next start compares with its own once.
class KyUpdater : public QObject
{
    Q_OBJECT

public:
    struct Timing
    {
        int firstCheckMs = 10 * 1000;           // after start()
        int intervalMs = 24 * 60 * 60 * 1000;   // then daily
        int quietMs = 60 * 1000;                // no tool for this long
        qint64 reofferAfterSecs = 24 * 60 * 60; // an automatic offer, again
    };
    // Starts the setup package; the default asks the system for elevation.
    using SetupStarter = std::function<kyplatform::ElevatedStart(const QString &setup, const QString &parameters)>;
    // What a quit asked for by the streamer does first.
    enum class QuitStep { Quit, OfferFirst, Installing };

    explicit KyUpdater(QObject *parent = nullptr);
    ~KyUpdater() override;

    void setTiming(const Timing &timing);
    void setSetupStarter(SetupStarter starter);

    // Called once the window has been painted: says once whether the
    // update the last run started did not complete, then schedules the
    // automatic checks.
    void start();
    // The tray's "检查更新": offers whatever is newer, even a skipped version.
    void checkNow();

    bool autoCheck() const;
    void setAutoCheck(bool on);
    QString skippedVersion() const;
    // The update last found (valid while an offer stands).
    KyUpdateDescription available() const { return m_available; }
    bool hasAvailable() const { return !m_available.version.isEmpty(); }
    bool toolsRunning() const { return !m_running.isEmpty(); }
    // No tool runs and none ran during the last quiet period.
    bool quiet() const;
    // The verified setup package, "" until one is downloaded and checked.
    QString setupPath() const { return m_setupPath; }
    // The folder downloads of the setup go to.
    static QString updateFolder();

    // The streamer's answers to an offer.
    void installNow();  // 立即更新: download when needed, then install
    void later();       // 稍后: download when quiet, install on quit
    void skipVersion(); // 跳过此版本
    void dismiss();     // the notice closed without an answer
    // The streamer asked to try again an update that did not complete.
    void retry();
    // What the streamer's quit must do first: start the setup of a "稍后"
    // (then quit), or show an offer held back while a tool ran.
    QuitStep atQuit();

public slots:
    void sltToolStatus(QString name, int status);

signals:
    // Show the notice for available(). `manual`: the streamer asked;
    // `waiting`: tools run, so the update waits unless the streamer goes ahead.
    void sglOffer(bool manual, bool waiting);
    void sglUpToDate();
    void sglCheckFailed();
    void sglDownloadProgress(int percent);
    // The update was not installed; `why` is for the streamer.
    void sglUpdateFailed(QString why);
    void sglInstallRefused();
    // The setup runs and will start VURuv again: the program quits.
    void sglQuitForInstall();
    // The last run started a setup for `version`, and this is not it.
    void sglIncomplete(QString version);

private:
    void check(bool manual);
    void descriptionArrived();
    void signatureArrived();
    void judge(const QByteArray &signature);
    void offer(bool manual);
    void startDownload();
    void downloadFinished(const QString &name, const QString &file);
    void downloadFailed(const QString &name);
    void downloadProgress(const QString &name, int percent);
    bool setupIsTrusted(const QString &path, QString *problem) const;
    void install(bool restart);
    void becameQuiet();
    QNetworkReply *get(const QString &url, qint64 maxBytes, const char *what);
    QVariant setting(const char *key, const QVariant &fallback = QVariant()) const;
    void setSetting(const char *key, const QVariant &value);

    Timing m_timing;
    SetupStarter m_starter;
    QString m_currentVersion;
    QNetworkAccessManager *m_network = nullptr;
    QNetworkReply *m_reply = nullptr;
    QByteArray m_descriptionBytes;
    bool m_checking = false;
    bool m_manual = false;
    bool m_retrying = false;
    KyUpdateDescription m_available;
    bool m_heldBack = false;     // an automatic offer waits for quiet
    bool m_later = false;        // install on quit
    bool m_wantInstall = false;  // install as soon as the setup is here
    bool m_downloading = false;
    bool m_downloadersWired = false;
    QString m_setupPath;
    QSet<QString> m_running;
    QTimer *m_firstTimer = nullptr;
    QTimer *m_dailyTimer = nullptr;
    QTimer *m_quietTimer = nullptr;
};
