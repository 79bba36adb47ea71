// One download through KyFileDownloaderMgr, as the main window starts it:
// prints the transfer time (startDownload to sglDownloadFinished), the bytes
// that landed in the target file and the process's peak resident memory.
//
//   kybench_download URL SAVEDIR
//
// Prints "seconds S bytes B peak_kb K"; exit 1 when the download failed.
#include "benchenv.h"

#include "common/kycleanup.h"
#include "common/kyconstants.h"
#include "download/kyfiledownloader.h"
#include "download/kyfiledownloadermgr.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s URL SAVEDIR\n", argv[0]);
        return 2;
    }
    const QString url = QString::fromLocal8Bit(argv[1]);
    const QString saveDir = QString::fromLocal8Bit(argv[2]);
    const QString name = QStringLiteral("bench");

    KyFileDownloaderMgr *manager = KyFileDownloaderMgr::instance();
    bool ok = false;
    QString landed;
    std::int64_t finished = 0;
    for (KyFileDownloader *downloader : manager->allDownloaders()) {
        QObject::connect(downloader, &KyFileDownloader::sglDownloadFinished, [&](const QString &, const QString &file) {
            finished = kybench::monotonicNs();
            ok = true;
            landed = file;
        });
        QObject::connect(downloader, &KyFileDownloader::sglDownloadFailed, [&](const QString &) {
            finished = kybench::monotonicNs();
        });
        QObject::connect(downloader, &KyFileDownloader::sglFinished, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    }

    std::int64_t started = 0;
    QTimer::singleShot(0, [&]() {
        started = kybench::monotonicNs();
        const int result = manager->startDownload(name, url, saveDir, true);
        if (result != DOWNLOAD_STARTED) {
            std::fprintf(stderr, "kybench_download: startDownload returned %d\n", result);
            QCoreApplication::exit(1);
        }
    });
    const int loop = app.exec();
    runProcessCleanups();
    if (loop != 0 || !ok) {
        std::fprintf(stderr, "kybench_download: the download failed\n");
        return 1;
    }
    std::printf("seconds %.4f bytes %lld peak_kb %ld\n", double(finished - started) / 1e9,
                static_cast<long long>(QFileInfo(landed).size()), kybench::statusKb("VmHWM"));
    return 0;
}
