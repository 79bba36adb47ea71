#include "kytestmain.h"

#include "app/kylogmanager.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTextCodec>
#include <QThread>

#include <vector>

namespace {
QByteArray fileFor(QtMsgType type)
{
    return kytest::readFile(logFilePath(type));
}

void log(QtMsgType type, const QString &text)
{
    logMessageHandler(type, QMessageLogContext(), text);
}

const QRegularExpression kLine(QStringLiteral(R"(^\[(\d\d)-(\d\d) \d\d:\d\d:\d\d\.\d{3}\]:  (Debug|Info|Warning|Critical|Fatal): (.*)$)"));
} // namespace

class TestLogging : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QDir(logDirPath()).removeRecursively();
    }

    void folderAndFileNames()
    {
        QCOMPARE(logDirPath(), kytest::tempDir() + QStringLiteral("/VURuv/"));
        const QString day = QDate::currentDate().toString(QStringLiteral("MMdd_"));
        QCOMPARE(logFilePath(QtDebugMsg), logDirPath() + day + QStringLiteral("debug.log"));
        QCOMPARE(logFilePath(QtInfoMsg), logDirPath() + day + QStringLiteral("info.log"));
        QCOMPARE(logFilePath(QtWarningMsg), logDirPath() + day + QStringLiteral("error.log"));
        QCOMPARE(logFilePath(QtCriticalMsg), logDirPath() + day + QStringLiteral("error.log"));
        QCOMPARE(logFilePath(QtFatalMsg), logDirPath() + day + QStringLiteral("error.log"));
        QVERIFY(QDir(logDirPath()).exists());
    }

    void lineFormatByteForByte()
    {
        log(QtWarningMsg, QStringLiteral("abc"));
        const QByteArray content = fileFor(QtWarningMsg);
        QVERIFY(content.endsWith("\r\n"));
        QCOMPARE(content.count('\n'), 1);
        const QString line = QString::fromUtf8(content.chopped(2));
        const QRegularExpressionMatch match = kLine.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        QCOMPARE(match.captured(3), QStringLiteral("Warning"));
        QCOMPARE(match.captured(4), QStringLiteral("abc"));
        const QDate today = QDate::currentDate();
        QCOMPARE(match.captured(1).toInt(), today.month());
        QCOMPARE(match.captured(2).toInt(), today.day());
    }

    void levelsGoToThreeFiles()
    {
        log(QtDebugMsg, QStringLiteral("by tq d"));
        log(QtInfoMsg, QStringLiteral("by tq i"));
        log(QtWarningMsg, QStringLiteral("by tq w"));
        log(QtCriticalMsg, QStringLiteral("by tq c"));
        QCOMPARE(QDir(logDirPath()).entryList(QDir::Files).size(), 3);
        QVERIFY(fileFor(QtDebugMsg).contains("  Debug: by tq d\r\n"));
        QVERIFY(fileFor(QtInfoMsg).contains("  Info: by tq i\r\n"));
        const QByteArray errors = fileFor(QtWarningMsg);
        QVERIFY(errors.contains("  Warning: by tq w\r\n"));
        QVERIFY(errors.contains("  Critical: by tq c\r\n"));
        QCOMPARE(errors.count('\n'), 2);
    }

    void emptyMessageWritesAnEmptyLine()
    {
        log(QtInfoMsg, QStringLiteral("before"));
        const QByteArray before = fileFor(QtInfoMsg);
        log(QtInfoMsg, QString());
        QCOMPARE(fileFor(QtInfoMsg), before + "\r\n");
    }

    void textIsWrittenAsItIs()
    {
        // Placeholders in the text are not expanded again, and non-ASCII text
        // survives.
        log(QtDebugMsg, QStringLiteral("by tq CreateToolhelp32Snapshot调用失败! %1 %2"));
        // In the system's locale encoding: UTF-8 on Linux, 936 on a Chinese
        // Windows (a Western one has no Chinese).
        const QString line = QTextCodec::codecForLocale()->toUnicode(fileFor(QtDebugMsg)).trimmed();
        QVERIFY2(line.endsWith(QStringLiteral("Debug: by tq CreateToolhelp32Snapshot调用失败! %1 %2")), qPrintable(line));
    }

    void folderDeletedWhileRunningIsRecreated()
    {
        log(QtInfoMsg, QStringLiteral("one"));
        QVERIFY(QDir(logDirPath()).removeRecursively());
        log(QtInfoMsg, QStringLiteral("two"));
        const QByteArray content = fileFor(QtInfoMsg);
        QVERIFY(content.contains("Info: two\r\n"));
        QVERIFY(!content.contains("one"));
    }

    void installedHandlerReceivesQtMessages()
    {
        const QtMessageHandler previous = qInstallMessageHandler(nullptr);
        LogManager::instance().installHandler();
        qWarning("by tq through the handler");
        qInfo("%s", "");
        LogManager::instance().uninstallHandler();
        qInstallMessageHandler(previous);
        QVERIFY(fileFor(QtWarningMsg).contains("  Warning: by tq through the handler\r\n"));
        QCOMPARE(fileFor(QtInfoMsg), QByteArray("\r\n"));
    }

    void threadsNeverTearLines()
    {
        constexpr int kThreads = 8;
        constexpr int kMessages = 150;
        std::vector<QThread *> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.push_back(QThread::create([t]() {
                for (int i = 0; i < kMessages; ++i)
                    log(QtWarningMsg, QStringLiteral("thread %1 message %2 ").arg(t).arg(i) + QString(64, QLatin1Char('x')));
            }));
            threads.back()->start();
        }
        for (QThread *thread : threads) {
            QVERIFY(thread->wait(60000));
            delete thread;
        }
        const QList<QByteArray> lines = fileFor(QtWarningMsg).split('\n');
        QCOMPARE(lines.size(), kThreads * kMessages + 1);
        QVERIFY(lines.last().isEmpty());
        for (int i = 0; i < lines.size() - 1; ++i) {
            QVERIFY2(lines[i].endsWith('\r'), lines[i].constData());
            const QString line = QString::fromUtf8(lines[i].chopped(1));
            QVERIFY2(kLine.match(line).hasMatch() && line.endsWith(QString(64, QLatin1Char('x'))), qPrintable(line));
        }
    }
};

KY_TEST_GUILESS_MAIN(TestLogging)
#include "testlogging.moc"
