#include "update/kyupdater.h"

#include "common/kyconstants.h"
#include "common/kypaths.h"
#include "download/kydownloadrules.h"
#include "download/kyfiledownloadermgr.h"
#include "download/kyreplyguard.h"
#include "update/kyupdatecrypto.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QTimer>

namespace {
// The download name of the setup package in the downloaders' pool.
const QString kDownloadName = QStringLiteral("VURuv");
const QString kSettingsGroup = QStringLiteral("Update/");

QString settingsPath()
{
    return dataDir() + QStringLiteral("updateSetting");
}

QString failedDownloadText()
{
    return QStringLiteral("更新下载失败，请检查网络后重试。");
}
} // namespace

KyUpdater::KyUpdater(QObject *parent)
    : QObject(parent)
    , m_starter([](const QString &setup, const QString &parameters) {
        return kyplatform::startElevated(QDir::toNativeSeparators(nativePath(setup)).toStdString(),
                                         parameters.toStdString());
    })
    , m_currentVersion(appVersion())
{
    m_firstTimer = new QTimer(this);
    m_firstTimer->setSingleShot(true);
    m_dailyTimer = new QTimer(this);
    m_quietTimer = new QTimer(this);
    m_quietTimer->setSingleShot(true);
    connect(m_firstTimer, &QTimer::timeout, this, [this] {
        if (autoCheck())
            check(false);
    });
    connect(m_dailyTimer, &QTimer::timeout, this, [this] {
        if (autoCheck())
            check(false);
    });
    connect(m_quietTimer, &QTimer::timeout, this, &KyUpdater::becameQuiet);
}

KyUpdater::~KyUpdater() = default;

void KyUpdater::setTiming(const Timing &timing)
{
    m_timing = timing;
}

void KyUpdater::setSetupStarter(SetupStarter starter)
{
    m_starter = std::move(starter);
}

QString KyUpdater::updateFolder()
{
    return dataDir() + QStringLiteral("update");
}

QVariant KyUpdater::setting(const char *key, const QVariant &fallback) const
{
    const QSettings settings(settingsPath(), QSettings::IniFormat);
    return settings.value(kSettingsGroup + QLatin1String(key), fallback);
}

void KyUpdater::setSetting(const char *key, const QVariant &value)
{
    QSettings settings(settingsPath(), QSettings::IniFormat);
    if (value.isNull())
        settings.remove(kSettingsGroup + QLatin1String(key));
    else
        settings.setValue(kSettingsGroup + QLatin1String(key), value);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        qWarning("by update cannot write %s", qPrintable(settingsPath()));
}

bool KyUpdater::autoCheck() const
{
    return setting("AutoCheck", true).toBool();
}

void KyUpdater::setAutoCheck(bool on)
{
    setSetting("AutoCheck", on);
    qInfo("by update automatic checks %s", on ? "on" : "off");
}

QString KyUpdater::skippedVersion() const
{
    return setting("SkippedVersion").toString();
}

bool KyUpdater::quiet() const
{
    return m_running.isEmpty() && !m_quietTimer->isActive();
}

void KyUpdater::start()
{
    // A setup started by the last run was to bring this version. Said once:
    // the mark goes before anything is shown, so a failing setup is never
    // run again by itself.
    const QString attempted = setting("AttemptedVersion").toString();
    if (!attempted.isEmpty()) {
        setSetting("AttemptedVersion", QVariant());
        if (compareVersions(m_currentVersion, attempted) < 0 || parseVersion(m_currentVersion).isEmpty()) {
            qWarning("by update the update to %s did not complete, still %s", qPrintable(attempted),
                     qPrintable(m_currentVersion));
            emit sglIncomplete(attempted);
        } else {
            qInfo("by update updated to %s", qPrintable(m_currentVersion));
            // The setup has done its work.
            QDir(updateFolder()).removeRecursively();
        }
    }
    m_firstTimer->start(m_timing.firstCheckMs);
    m_dailyTimer->start(m_timing.intervalMs);
}

void KyUpdater::checkNow()
{
    check(true);
}

void KyUpdater::retry()
{
    m_retrying = true;
    check(true);
}

void KyUpdater::check(bool manual)
{
    if (manual)
        m_manual = true;
    if (m_checking)
        return;
    m_checking = true;
    m_descriptionBytes.clear();
    m_reply = get(updateDescriptionUrl(), kUpdateDescriptionMaxBytes, "update description");
    connect(m_reply, &QNetworkReply::finished, this, &KyUpdater::descriptionArrived);
}

QNetworkReply *KyUpdater::get(const QString &url, qint64 maxBytes, const char *what)
{
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkRequest request{QUrl(url)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply *reply = m_network->get(request);
    guardReply(reply, maxBytes, kRequestStallTimeoutMs, what);
    return reply;
}

void KyUpdater::descriptionArrived()
{
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError || status != 200) {
        // A platform that offers no update answers 404: nothing wrong.
        if (status == 404)
            qInfo("by update no description: none offered");
        else
            qWarning("by update no description: %s (HTTP %d)", qPrintable(reply->errorString()), status);
        judge(QByteArray());
        return;
    }
    m_descriptionBytes = reply->readAll();
    m_reply = get(updateSignatureUrl(), kUpdateSignatureMaxBytes, "update signature");
    connect(m_reply, &QNetworkReply::finished, this, &KyUpdater::signatureArrived);
}

void KyUpdater::signatureArrived()
{
    QNetworkReply *reply = m_reply;
    m_reply = nullptr;
    reply->deleteLater();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    QByteArray signature;
    if (reply->error() == QNetworkReply::NoError && status == 200)
        signature = reply->readAll();
    else
        qWarning("by update no signature: %s (HTTP %d)", qPrintable(reply->errorString()), status);
    judge(signature);
}

void KyUpdater::judge(const QByteArray &signature)
{
    const bool manual = m_manual;
    const bool retrying = m_retrying;
    m_checking = false;
    m_manual = false;
    m_retrying = false;

    if (m_descriptionBytes.isEmpty()) {
        if (manual)
            emit sglCheckFailed();
        return;
    }
    KyUpdateDescription description;
    bool upToDate = false;
    const QString problem = judgeUpdateDescription(m_descriptionBytes, signature, m_currentVersion,
                                                   builtInUpdateKey(), &description, &upToDate);
    m_descriptionBytes.clear();
    if (upToDate) {
        qInfo("by update up to date: %s", qPrintable(problem));
        if (manual)
            emit sglUpToDate();
        return;
    }
    if (!problem.isEmpty()) {
        qWarning("by update description refused: %s", qPrintable(problem));
        if (manual)
            emit sglCheckFailed();
        return;
    }

    if (description.version != m_available.version || description.sha256 != m_available.sha256) {
        // Another version than the one in hand: start afresh.
        m_setupPath.clear();
        m_later = false;
        m_wantInstall = false;
    }
    m_available = description;
    qInfo("by update version %s offered (%lld bytes)", qPrintable(description.version),
          static_cast<long long>(description.size));

    if (retrying) {
        installNow();
        return;
    }
    if (manual) {
        m_heldBack = false;
        offer(true);
        return;
    }
    if (description.version == skippedVersion()) {
        qInfo("by update version %s skipped by the user", qPrintable(description.version));
        return;
    }
    const qint64 offeredAt = setting("OfferedAt", 0).toLongLong();
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (setting("OfferedVersion").toString() == description.version && now >= offeredAt
        && now - offeredAt < m_timing.reofferAfterSecs) {
        // Offered already today: a later start does not ask again.
        return;
    }
    if (m_later)
        return;
    if (!quiet()) {
        qInfo("by update offer held back while a live tool runs");
        m_heldBack = true;
        return;
    }
    offer(false);
}

void KyUpdater::offer(bool manual)
{
    m_heldBack = false;
    setSetting("OfferedVersion", m_available.version);
    setSetting("OfferedAt", QDateTime::currentSecsSinceEpoch());
    emit sglOffer(manual, toolsRunning());
}

void KyUpdater::installNow()
{
    if (!hasAvailable())
        return;
    m_heldBack = false;
    m_later = false;
    m_wantInstall = true;
    if (!m_setupPath.isEmpty()) {
        install(true);
        return;
    }
    if (!m_downloading)
        startDownload();
}

void KyUpdater::later()
{
    if (!hasAvailable())
        return;
    m_heldBack = false;
    m_wantInstall = false;
    m_later = true;
    if (m_setupPath.isEmpty() && !m_downloading && quiet())
        startDownload();
}

void KyUpdater::skipVersion()
{
    if (!hasAvailable())
        return;
    setSetting("SkippedVersion", m_available.version);
    qInfo("by update the user skips version %s", qPrintable(m_available.version));
    m_heldBack = false;
    m_later = false;
    m_wantInstall = false;
    if (m_downloading)
        KyFileDownloaderMgr::instance()->cancelDownload(kDownloadName);
    m_downloading = false;
}

void KyUpdater::dismiss()
{
    m_heldBack = false;
}

KyUpdater::QuitStep KyUpdater::atQuit()
{
    if (m_later && !m_setupPath.isEmpty()) {
        install(false);
        return QuitStep::Installing;
    }
    if (m_heldBack && hasAvailable()) {
        offer(false);
        return QuitStep::OfferFirst;
    }
    return QuitStep::Quit;
}

void KyUpdater::sltToolStatus(QString name, int status)
{
    const bool wasRunning = !m_running.isEmpty();
    if (status == APP_RUNNING)
        m_running.insert(name);
    else
        m_running.remove(name);
    if (!m_running.isEmpty()) {
        m_quietTimer->stop();
        // A download the streamer did not ask for now gives way to the broadcast.
        if (m_downloading && !m_wantInstall) {
            qInfo("by update download paused while a live tool runs");
            KyFileDownloaderMgr::instance()->cancelDownload(kDownloadName);
            m_downloading = false;
        }
    } else if (wasRunning) {
        m_quietTimer->start(m_timing.quietMs);
    }
}

void KyUpdater::becameQuiet()
{
    if (m_heldBack && hasAvailable()) {
        offer(false);
        return;
    }
    if (m_later && m_setupPath.isEmpty() && !m_downloading)
        startDownload();
}

void KyUpdater::startDownload()
{
    const QString folder = updateFolder();
    QDir().mkpath(folder);
    const QString target = downloadTargetPath(folder, m_available.setupUrl);
    QString problem;
    // One downloaded before (a "稍后" of an earlier run) is used when it is
    // the very file described.
    if (!target.isEmpty() && QFileInfo::exists(target) && setupIsTrusted(target, &problem)) {
        downloadFinished(kDownloadName, target);
        return;
    }
    KyFileDownloaderMgr *downloads = KyFileDownloaderMgr::instance();
    if (!m_downloadersWired) {
        m_downloadersWired = true;
        for (KyFileDownloader *downloader : downloads->allDownloaders()) {
            connect(downloader, &KyFileDownloader::sglDownloadFinished, this, &KyUpdater::downloadFinished);
            connect(downloader, &KyFileDownloader::sglDownloadFailed, this, &KyUpdater::downloadFailed);
            connect(downloader, &KyFileDownloader::sglUpdateDownloadProgress, this, &KyUpdater::downloadProgress);
        }
    }
    KyDownloadLimits limits;
    // Not a byte more than the description promises.
    limits.maxBytes = m_available.size;
    const int result = downloads->startDownload(kDownloadName, m_available.setupUrl, folder, true, limits);
    if (result != DOWNLOAD_STARTED) {
        qWarning("by update download did not start: %d", result);
        if (m_wantInstall) {
            m_wantInstall = false;
            emit sglUpdateFailed(failedDownloadText());
        }
        return;
    }
    m_downloading = true;
}

void KyUpdater::downloadProgress(const QString &name, int percent)
{
    if (name == kDownloadName && m_downloading)
        emit sglDownloadProgress(percent);
}

void KyUpdater::downloadFinished(const QString &name, const QString &file)
{
    if (name != kDownloadName)
        return;
    m_downloading = false;
    QString problem;
    if (!setupIsTrusted(file, &problem)) {
        qWarning("by update setup refused: %s", qPrintable(problem));
        QFile::remove(file);
        if (m_wantInstall) {
            m_wantInstall = false;
            emit sglUpdateFailed(QStringLiteral("更新文件校验失败，已删除，未安装。"));
        }
        return;
    }
    m_setupPath = file;
    qInfo("by update setup %s verified", qPrintable(file));
    if (m_wantInstall)
        install(true);
}

void KyUpdater::downloadFailed(const QString &name)
{
    if (name != kDownloadName)
        return;
    const bool wasOurs = m_downloading;
    m_downloading = false;
    qWarning("by update setup download failed");
    if (wasOurs && m_wantInstall) {
        m_wantInstall = false;
        emit sglUpdateFailed(failedDownloadText());
    }
}

bool KyUpdater::setupIsTrusted(const QString &path, QString *problem) const
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() != m_available.size) {
        *problem = QStringLiteral("%1 is %2 bytes, the description says %3")
                       .arg(path)
                       .arg(info.size())
                       .arg(m_available.size);
        return false;
    }
    const QByteArray sha = fileSha256(path);
    if (sha.isEmpty() || sha != m_available.sha256) {
        *problem = QStringLiteral("%1 has SHA-256 %2, the description says %3")
                       .arg(path, QString::fromLatin1(sha.toHex()), QString::fromLatin1(m_available.sha256.toHex()));
        return false;
    }
    return true;
}

void KyUpdater::install(bool restart)
{
    m_wantInstall = false;
    // Checked again right before it runs: the file sat in a folder of the
    // user's since it was downloaded.
    QString problem;
    if (!setupIsTrusted(m_setupPath, &problem)) {
        qWarning("by update setup refused: %s", qPrintable(problem));
        QFile::remove(m_setupPath);
        m_setupPath.clear();
        m_later = false;
        emit sglUpdateFailed(QStringLiteral("更新文件校验失败，已删除，未安装。"));
        return;
    }
    // The setup asks the running copy to quit, swaps the files in and, with
    // /RESTART, starts the new version; "/D=" comes last and unquoted.
    QString parameters = QStringLiteral("/S");
    if (restart)
        parameters += QStringLiteral(" /RESTART");
    parameters += QStringLiteral(" /D=") + QDir::toNativeSeparators(appDir());
    setSetting("AttemptedVersion", m_available.version);
    const kyplatform::ElevatedStart started = m_starter(m_setupPath, parameters);
    if (started == kyplatform::ElevatedStart::Started) {
        qInfo("by update setup started for version %s: %s", qPrintable(m_available.version),
              qPrintable(parameters));
        m_later = false;
        if (restart)
            emit sglQuitForInstall();
        return;
    }
    setSetting("AttemptedVersion", QVariant());
    if (started == kyplatform::ElevatedStart::Refused) {
        qWarning("by update the user refused the setup's elevation");
        emit sglInstallRefused();
        return;
    }
    qWarning("by update setup %s did not start", qPrintable(m_setupPath));
    emit sglUpdateFailed(QStringLiteral("安装程序无法启动，未更新。"));
}
