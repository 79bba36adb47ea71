#include "kytestmain.h"
#include "platform/sysinfo.h"
#include "telemetry/kysysteminfo.h"

#include <QDir>

// The machine description: the version-pair names, and the Linux probe fed
// with made-up /proc/cpuinfo texts, pci.ids files and DRM folders.
class TestSystemInfo : public QObject
{
    Q_OBJECT

private:
    static QByteArray pciIds()
    {
        return "# pci.ids excerpt\n"
               "#\tcomment with a tab\n"
               "1002  Advanced Micro Devices, Inc. [AMD/ATI]\n"
               "\t67df  Ellesmere [Radeon RX 470/480/570/580]\n"
               "\t\t1002 0b37  Radeon RX 480\n"
               "10de  NVIDIA Corporation\n"
               "\t1c03  GP106 [GeForce GTX 1060 6GB]\n"
               "\t\t67df 1111  not a device line\n"
               "\t1f08  TU106 [GeForce RTX 2060 Rev. A]\r\n"
               "8086  Intel Corporation\n"
               "\t3e92  CoffeeLake-S GT2 [UHD Graphics 630]\n"
               "C 03  Display controller\n"
               "\t00  VGA compatible controller\n";
    }

    static void addCard(const QString &drm, const QString &card, const QByteArray &vendor, const QByteArray &device)
    {
        QDir().mkpath(drm + QLatin1Char('/') + card + QStringLiteral("/device"));
        if (!vendor.isEmpty())
            QVERIFY(kytest::writeFile(drm + QLatin1Char('/') + card + QStringLiteral("/device/vendor"), vendor));
        if (!device.isEmpty())
            QVERIFY(kytest::writeFile(drm + QLatin1Char('/') + card + QStringLiteral("/device/device"), device));
    }

private slots:
    void osNameHere()
    {
        QString name;
        ::osName(name);
        // Linux is none of the Windows versions; Windows is the one it runs
        // (Wine says Windows 7), named from the fixed set.
        if (!kytest::windowsBuild())
            QCOMPARE(name, QStringLiteral("Unknown"));
        QCOMPARE(name, QString::fromStdString(kyplatform::osName()));
        QVERIFY(QStringList({QStringLiteral("Windows_XP"), QStringLiteral("Windows_7"), QStringLiteral("Windows_8"),
                             QStringLiteral("Windows_8.1"), QStringLiteral("Windows_10"), QStringLiteral("Unknown")})
                    .contains(name));
    }

    void parseCpuInfo()
    {
        const std::string text = "processor\t: 0\n"
                                 "vendor_id\t: GenuineIntel\n"
                                 "model name\t:  Intel(R) Core(TM) i5-8400 CPU @ 2.80GHz  \n"
                                 "cpu MHz\t\t: 3399.998\n"
                                 "flags\t\t: fpu vme: de\n"
                                 "\n"
                                 "processor\t: 1\n"
                                 "vendor_id\t: Other\n"
                                 "model name\t: Second\n"
                                 "cpu MHz\t\t: 800.000\n";
        const kyplatform::CpuDescription cpu = kyplatform::parseCpuInfo(text);
        QCOMPARE(cpu.model, std::string(" Intel(R) Core(TM) i5-8400 CPU @ 2.80GHz  "));
        QCOMPARE(cpu.vendor, std::string("GenuineIntel"));
        QCOMPARE(cpu.mhz, 3399);
        QCOMPARE(cpu.count, 0);

        const kyplatform::CpuDescription bare = kyplatform::parseCpuInfo("processor\t: 0\nBogoMIPS\t: 50.00\n");
        QVERIFY(bare.model.empty() && bare.vendor.empty());
        QCOMPARE(bare.mhz, 0);
    }

    void pciIdsName_data()
    {
        QTest::addColumn<uint>("vendor");
        QTest::addColumn<uint>("device");
        QTest::addColumn<QString>("name");
        QTest::newRow("listed") << 0x10deu << 0x1c03u << "NVIDIA Corporation GP106 [GeForce GTX 1060 6GB]";
        QTest::newRow("CRLF line") << 0x10deu << 0x1f08u << "NVIDIA Corporation TU106 [GeForce RTX 2060 Rev. A]";
        QTest::newRow("first vendor") << 0x1002u << 0x67dfu << "Advanced Micro Devices, Inc. [AMD/ATI] Ellesmere [Radeon RX 470/480/570/580]";
        QTest::newRow("device of another vendor") << 0x8086u << 0x1c03u << "";
        QTest::newRow("subsystem is no device") << 0x10deu << 0x67dfu << "";
        QTest::newRow("unknown vendor") << 0x1234u << 0x1111u << "";
    }

    void pciIdsName()
    {
        QFETCH(uint, vendor);
        QFETCH(uint, device);
        QFETCH(QString, name);
        QCOMPARE(QString::fromStdString(kyplatform::pciIdsName(pciIds().toStdString(), vendor, device)), name);
    }

    // Cards in number order, connectors and render nodes skipped, named
    // through the first readable pci.ids, numeric ids when it is missing.
    void drmAdapters()
    {
        const QString drm = kytest::testRoot() + QStringLiteral("/drm");
        addCard(drm, QStringLiteral("card10"), "0x8086\n", "0x3e92\n");
        addCard(drm, QStringLiteral("card1"), "0x1234\n", "0xabcd\n");
        addCard(drm, QStringLiteral("card0"), "0x10de\n", "0x1c03\n");
        addCard(drm, QStringLiteral("card0-HDMI-A-1"), "0x10de\n", "0x1f08\n");
        addCard(drm, QStringLiteral("renderD128"), "0x10de\n", "0x1f08\n");
        addCard(drm, QStringLiteral("card2"), QByteArray(), QByteArray());  // no PCI device
        const QString ids = kytest::testRoot() + QStringLiteral("/pci.ids");
        QVERIFY(kytest::writeFile(ids, pciIds()));
        const std::string missing = QString(kytest::testRoot() + QStringLiteral("/none/pci.ids")).toStdString();

        std::vector<std::string> named = kyplatform::drmAdapterDescriptions(drm.toStdString(), {missing, ids.toStdString()});
        QCOMPARE(named, (std::vector<std::string>{"NVIDIA Corporation GP106 [GeForce GTX 1060 6GB]", "PCI 1234:abcd",
                                                   "Intel Corporation CoffeeLake-S GT2 [UHD Graphics 630]"}));

        std::vector<std::string> bare = kyplatform::drmAdapterDescriptions(drm.toStdString(), {missing});
        QCOMPARE(bare, (std::vector<std::string>{"PCI 10de:1c03", "PCI 1234:abcd", "PCI 8086:3e92"}));

        QVERIFY(kyplatform::drmAdapterDescriptions(missing, {}).empty());
    }

    // The Qt side hands out what the probe found, and the second call the
    // cached values.
    void cpuInfoOfThisMachine()
    {
        QString model;
        QString vendor;
        int count = 0;
        int mhz = -1;
        QVERIFY(::cpuInfo(model, vendor, count, mhz));
        const kyplatform::CpuDescription cpu = kyplatform::cpuDescription();
        QCOMPARE(model, QString::fromStdString(cpu.model));
        QCOMPARE(vendor, QString::fromStdString(cpu.vendor));
        QCOMPARE(mhz, cpu.mhz);
        QVERIFY(count >= 1);
        QString model2;
        QString vendor2;
        int count2 = 0;
        int mhz2 = 0;
        ::cpuInfo(model2, vendor2, count2, mhz2);
        QCOMPARE(model2, model);
        QCOMPARE(count2, count);
    }
};

KY_TEST_GUILESS_MAIN(TestSystemInfo)
#include "testsysteminfo.moc"
