#include "kytestmain.h"
#include "platform/profileini.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

using kyplatform::readProfileString;
using kyplatform::writeProfileString;

// The POSIX profile INI editor: the reader's lookup rules, and a writer that
// changes one line and keeps every other byte of the file.
class TestProfileIni : public QObject
{
    Q_OBJECT

private:
    QString m_dir;
    QString m_file;

private slots:
    void init()
    {
        m_dir = kytest::testRoot() + QStringLiteral("/ini-") + QString::fromLatin1(QTest::currentTestFunction());
        if (QTest::currentDataTag())
            m_dir += QString::number(qHash(QString::fromUtf8(QTest::currentDataTag())));
        QDir(m_dir).removeRecursively();
        QDir().mkpath(m_dir);
        m_file = m_dir + QStringLiteral("/Untitled.ini");
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("case and blanks") << QByteArray("[publish]\r\n  url = rtmp://a/b \r\n") << QByteArray("Publish") << QByteArray("URL") << QByteArray("rtmp://a/b");
        QTest::newRow("quotes") << QByteArray("[P]\nK=\"x y\"\n") << QByteArray("P") << QByteArray("K") << QByteArray("x y");
        QTest::newRow("first section wins") << QByteArray("[P]\nK=1\n[p]\nK=2\n") << QByteArray("P") << QByteArray("K") << QByteArray("1");
        QTest::newRow("key of another section") << QByteArray("[A]\nK=1\n[P]\nX=2\n") << QByteArray("P") << QByteArray("K") << QByteArray("dflt");
        QTest::newRow("comment is no key") << QByteArray("[P]\n;K=1\n#K=2\n") << QByteArray("P") << QByteArray("K") << QByteArray("dflt");
        QTest::newRow("lines before any section") << QByteArray("K=1\n[P]\n") << QByteArray("P") << QByteArray("K") << QByteArray("dflt");
        QTest::newRow("empty value") << QByteArray("[P]\nK=\n") << QByteArray("P") << QByteArray("K") << QByteArray("");
        QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF[P]\nK=v\n") << QByteArray("P") << QByteArray("K") << QByteArray("v");
        QTest::newRow("utf-8 and separators") << QByteArray("[P]\nK=D:\\录像\\a=b;c\n") << QByteArray("P") << QByteArray("K") << QByteArray("D:\\录像\\a=b;c");
    }

    void read()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, expected);
        QVERIFY(kytest::writeFile(m_file, content));
        QCOMPARE(QByteArray::fromStdString(readProfileString(m_file.toStdString(), section.toStdString(),
                                                             key.toStdString(), "dflt  ")),
                 expected);
    }

    // The narrow reader's 512-byte buffer holds 511 bytes of text; a cut
    // never leaves half a UTF-8 character behind.
    void readIsCutToTheBuffer()
    {
        const QByteArray ascii(600, 'a');
        const QByteArray wide = QString(200, QChar(0x5F55)).toUtf8();  // 3 bytes each
        QVERIFY(kytest::writeFile(m_file, "[P]\nA=" + ascii + "\nW=" + wide + "\n"));
        QCOMPARE(readProfileString(m_file.toStdString(), "P", "A", "").size(), std::size_t(511));
        const std::string cut = readProfileString(m_file.toStdString(), "P", "W", "");
        QCOMPARE(QByteArray::fromStdString(cut), wide.left(510));
        QCOMPARE(readProfileString(m_file.toStdString(), "P", "A", "", 4), std::string("aaa"));
    }

    void readMissingFile()
    {
        QCOMPARE(readProfileString(QString(m_dir + QStringLiteral("/none.ini")).toStdString(), "P", "K", "x "), std::string("x"));
    }

    void write_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");

        // Each row sets Mode=0 in section Publish.
        QTest::newRow("missing file") << false << QByteArray() << QByteArray("[Publish]\r\nMode=0\r\n");
        QTest::newRow("empty file") << true << QByteArray() << QByteArray("[Publish]\r\nMode=0\r\n");
        QTest::newRow("key replaced in place")
            << true << QByteArray("; kept\r\n[Other]\r\nA = 1 \r\n\r\n[publish]\r\n  mode = 1\r\nURL=x\r\n")
            << QByteArray("; kept\r\n[Other]\r\nA = 1 \r\n\r\n[publish]\r\nMode=0\r\nURL=x\r\n");
        QTest::newRow("key added before the blank line")
            << true << QByteArray("[Publish]\nURL=x\n\n# next\n[Next]\nB=2\n")
            << QByteArray("[Publish]\nURL=x\nMode=0\n\n# next\n[Next]\nB=2\n");
        QTest::newRow("section appended, no final line end")
            << true << QByteArray("[A]\nB=1") << QByteArray("[A]\nB=1\n[Publish]\nMode=0\n");
        QTest::newRow("header is the last line")
            << true << QByteArray("[A]\r\n[Publish]") << QByteArray("[A]\r\n[Publish]\r\nMode=0");
        QTest::newRow("byte order mark kept")
            << true << QByteArray("\xEF\xBB\xBF[Publish]\nURL=x\n") << QByteArray("\xEF\xBB\xBF[Publish]\nURL=x\nMode=0\n");
    }

    void write()
    {
        QFETCH(bool, exists);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        if (exists)
            QVERIFY(kytest::writeFile(m_file, before));
        QVERIFY(writeProfileString(m_file.toStdString(), "Publish", "Mode", "0"));
        QCOMPARE(kytest::readFile(m_file), after);
        QCOMPARE(readProfileString(m_file.toStdString(), "Publish", "Mode", "x"), std::string("0"));
        // The file was replaced by rename: nothing else is left in its folder.
        QCOMPARE(QDir(m_dir).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Untitled.ini")});
    }

    void writeRoundTripsUtf8AndKeepsMode()
    {
        QVERIFY(kytest::writeFile(m_file, "[Publish]\n"));
        ::chmod(QFile::encodeName(m_file).constData(), 0640);
        const std::string value = "rtmp://直播.example/live?k=a;b";
        QVERIFY(writeProfileString(m_file.toStdString(), "Publish", "URL", value));
        QCOMPARE(readProfileString(m_file.toStdString(), "publish", "url", ""), value);
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(m_file).constData(), &info), 0);
        QCOMPARE(info.st_mode & 07777, mode_t(0640));
    }

    // Text that would add or break lines must not reach the file.
    void writeRefusesWhatIsNoLine_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("line feed in value") << QByteArray("Publish") << QByteArray("URL") << QByteArray("a\n[Evil]");
        QTest::newRow("carriage return") << QByteArray("Publish") << QByteArray("URL") << QByteArray("a\rb");
        QTest::newRow("equals in key") << QByteArray("Publish") << QByteArray("U=RL") << QByteArray("a");
        QTest::newRow("comment key") << QByteArray("Publish") << QByteArray(";URL") << QByteArray("a");
        QTest::newRow("bracket in section") << QByteArray("Pub]lish") << QByteArray("URL") << QByteArray("a");
        QTest::newRow("empty key") << QByteArray("Publish") << QByteArray(" ") << QByteArray("a");
    }

    void writeRefusesWhatIsNoLine()
    {
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        const QByteArray before("[Publish]\r\nURL=old\r\n");
        QVERIFY(kytest::writeFile(m_file, before));
        QVERIFY(!writeProfileString(m_file.toStdString(), section.toStdString(), key.toStdString(), value.toStdString()));
        QCOMPARE(kytest::readFile(m_file), before);
    }

    void writeNeedsTheFolder()
    {
        const QString file = m_dir + QStringLiteral("/missing/Untitled.ini");
        QVERIFY(!writeProfileString(file.toStdString(), "Publish", "Mode", "0"));
        QVERIFY(!QFileInfo::exists(m_dir + QStringLiteral("/missing")));
    }
};

KY_TEST_GUILESS_MAIN(TestProfileIni)
#include "testprofileini.moc"
