#pragma once

// Helpers of the download tests: the generated bodies the sandbox serves
// under /gen/, its rules, and a recorder of every downloader's signals.

#include "download/kyfiledownloader.h"
#include "download/kyfiledownloadermgr.h"

#include <QJsonObject>
#include <QMap>
#include <QObject>
#include <QRegularExpression>
#include <QStringList>

#include <initializer_list>

namespace kytest {

// The body the sandbox serves for /gen/<size>/<name>: bytes 0..255 repeated.
inline QByteArray generated(int size)
{
    QByteArray pattern;
    for (int i = 0; i < 256; ++i)
        pattern.append(char(i));
    QByteArray body;
    while (body.size() < size)
        body += pattern;
    return body.left(size);
}

// A sandbox rule for `path` (see platform_server.py).
inline QJsonObject rule(const QString &path, std::initializer_list<QPair<QString, QJsonValue>> values)
{
    QJsonObject object{{QStringLiteral("path"), path}};
    for (const auto &value : values)
        object.insert(value.first, value.second);
    return object;
}

// Records every signal of every downloader in the pool, in emission order:
// "progress NAME P", "finished NAME", "failed NAME", "done NAME".
class PoolRecorder : public QObject
{
public:
    explicit PoolRecorder(KyFileDownloaderMgr *mgr)
    {
        const QList<KyFileDownloader *> all = mgr->allDownloaders();
        for (KyFileDownloader *d : all) {
            connect(d, &KyFileDownloader::sglUpdateDownloadProgress, this, [this](QString name, int p) {
                events << QStringLiteral("progress %1 %2").arg(name).arg(p);
                percents[name] << p;
            });
            connect(d, &KyFileDownloader::sglDownloadFinished, this, [this](QString name, QString file) {
                events << QStringLiteral("finished %1").arg(name);
                files[name] = file;
            });
            connect(d, &KyFileDownloader::sglDownloadFailed, this, [this](QString name) {
                events << QStringLiteral("failed %1").arg(name);
            });
            connect(d, &KyFileDownloader::sglFinished, this, [this](QString name) {
                events << QStringLiteral("done %1").arg(name);
            });
        }
    }
    QStringList of(const QString &kind, const QString &name) const
    {
        return events.filter(QRegularExpression(QStringLiteral("^%1 %2( |$)").arg(kind, QRegularExpression::escape(name))));
    }
    // The events of one name without its progress reports.
    QStringList endings(const QString &name) const
    {
        QStringList result;
        for (const QString &e : events) {
            if (!e.startsWith(QLatin1String("progress")) && e.endsWith(QLatin1Char(' ') + name))
                result << e.section(QLatin1Char(' '), 0, 0);
        }
        return result;
    }
    bool done(const QString &name) const { return events.contains(QStringLiteral("done ") + name); }
    QStringList events;
    QMap<QString, QString> files;
    QMap<QString, QList<int>> percents;
};

} // namespace kytest
