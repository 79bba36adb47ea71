// The resource bundle: its exact contents and picture sizes, the icon, and the
// three style sheets (they parse, every picture they name exists, their rules
// reach the widgets they select, the main sheet's font name arrives intact).

#include "kytestmain.h"
#include "common/kypaths.h"
#include "common/kytexts.h"

#include <QApplication>
#include <QDirIterator>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QResource>
#include <QTextCodec>
#include <QXmlStreamReader>

namespace {

struct BundleFile {
    const char *path;
    int width; // 0: no fixed size
    int height;
};

// Everything the bundle holds, with the size each widget relies on.
const BundleFile BUNDLE[] = {
    {":/Qss/MainWidgetQss.qss", 0, 0},
    {":/Qss/KyoroWidgetQss.qss", 0, 0},
    {":/Qss/OBSWidgetQss.qss", 0, 0},
    {":/Resources/Install.ico", 0, 0},
    {":/Resources/tray_icon.png", 60, 60},
    {":/Resources/tray_quit.png", 14, 15},
    {":/Resources/titlebar_back.png", 920, 120},
    {":/Resources/logo.png", 20, 20},
    {":/Resources/button_min.png", 36, 36},
    {":/Resources/button_min_hover.png", 36, 36},
    {":/Resources/button_close.png", 36, 36},
    {":/Resources/button_close_hover.png", 36, 36},
    {":/Resources/button_live.png", 120, 84},
    {":/Resources/button_live_hover.png", 120, 84},
    {":/Resources/button_live_selected.png", 120, 84},
    {":/Resources/button_toolbox.png", 120, 84},
    {":/Resources/button_toolbox_hover.png", 120, 84},
    {":/Resources/button_toolbox_selected.png", 120, 84},
    {":/Resources/button_kyoro.png", 170, 52},
    {":/Resources/button_kyoro_hover.png", 170, 52},
    {":/Resources/button_kyoro_checked.png", 170, 52},
    {":/Resources/button_obs.png", 170, 52},
    {":/Resources/button_obs_hover.png", 170, 52},
    {":/Resources/button_obs_checked.png", 170, 52},
    {":/Resources/button_install.png", 234, 64},
    {":/Resources/button_install_hover.png", 234, 64},
    {":/Resources/button_open.png", 234, 64},
    {":/Resources/button_open_hover.png", 234, 64},
    {":/Resources/button_running.png", 234, 64},
    {":/Resources/button_liveset.png", 94, 30},
    {":/Resources/button_liveset_hover.png", 94, 30},
    {":/Resources/button_liveset_disable.png", 94, 30},
    {":/Resources/button_Service_little.png", 70, 14},
    {":/Resources/button_Service_little_hover.png", 70, 14},
    {":/Resources/button_useTutorial.png", 70, 14},
    {":/Resources/button_useTutorial_hover.png", 70, 14},
    {":/Resources/processbar.png", 220, 50},
    {":/Resources/processbar_chunk.png", 220, 50},
    {":/Resources/radio.png", 14, 14},
    {":/Resources/radio_selected.png", 14, 14},
    {":/Resources/kyoro_classic_1.png", 400, 264},
    {":/Resources/kyoro_classic_2.png", 400, 264},
    {":/Resources/kyoro_show_1.png", 400, 264},
    {":/Resources/kyoro_show_2.png", 400, 264},
    {":/Resources/OBS_classic_1.png", 400, 264},
    {":/Resources/OBS_classic_2.png", 400, 264},
    {":/Resources/OBS_studio_1.png", 400, 264},
    {":/Resources/OBS_studio_2.png", 400, 264},
    {":/Resources/button_left.png", 16, 62},
    {":/Resources/button_left_pressed.png", 16, 62},
    {":/Resources/button_right.png", 16, 62},
    {":/Resources/button_right_pressed.png", 16, 62},
    {":/Resources/switchpoint.png", 8, 8},
    {":/Resources/switchpoint_selected.png", 18, 8},
    {":/Resources/button_installOBS.png", 130, 150},
    {":/Resources/button_installOBS_hover.png", 130, 150},
    {":/Resources/button_Service.png", 130, 150},
    {":/Resources/button_Service_hover.png", 130, 150},
    {":/Resources/button_installKyoroLive.png", 130, 150},
    {":/Resources/button_installKyoroLive_hover.png", 130, 150},
    {":/Resources/button_openFolder.png", 130, 150},
    {":/Resources/button_openFolder_hover.png", 130, 150},
    {":/Resources/button_getPushcode.png", 130, 150},
    {":/Resources/button_getPushcode_hover.png", 130, 150},
    {":/Resources/button_commonProblem.png", 130, 150},
    {":/Resources/button_commonProblem_hover.png", 130, 150},
    {":/Resources/choose_titleback.png", 410, 36},
    {":/Resources/label_titleback.png", 410, 142},
    {":/Resources/kyoro_logo.png", 60, 60},
    {":/Resources/OBS_logo.png", 60, 60},
    {":/Resources/step_1.png", 576, 300},
    {":/Resources/step_2.png", 620, 394},
    {":/Resources/step_3.png", 620, 386},
    {":/Resources/step_4.png", 620, 316},
    {":/Resources/get_false_pic.png", 120, 120},
    {":/Resources/down_button.png", 9, 5},
    {":/Resources/up_button.png", 9, 5},
};

// Each picture's twice-size copy, under the name Qt looks for at a display
// scale above 100 %.
QString twiceSizePath(const char *path)
{
    return QString::fromLatin1(path).replace(QStringLiteral(".png"), QStringLiteral("@2x.png"));
}

QStringList bundlePaths()
{
    QStringList paths;
    for (const BundleFile &file : BUNDLE) {
        paths << QString::fromLatin1(file.path);
        if (file.width > 0)
            paths << twiceSizePath(file.path);
    }
    return paths;
}

QStringList sheetPaths()
{
    return {QSS_MAIN, QSS_KYORO, QSS_OBS};
}

QString withoutComments(QString sheet)
{
    return sheet.remove(QRegularExpression(QStringLiteral("/\\*.*?\\*/"),
                                           QRegularExpression::DotMatchesEverythingOption));
}

// Object names the sheet's selectors name (text outside the rule blocks).
QSet<QString> selectedNames(const QString &sheet)
{
    QString selectors = withoutComments(sheet);
    selectors.remove(QRegularExpression(QStringLiteral("\\{[^}]*\\}")));
    QSet<QString> names;
    auto it = QRegularExpression(QStringLiteral("#(\\w+)")).globalMatch(selectors);
    while (it.hasNext())
        names.insert(it.next().captured(1));
    return names;
}

QStringList urlsOf(const QString &sheet)
{
    QStringList urls;
    auto it = QRegularExpression(QStringLiteral("url\\(\\s*([^)\\s]+)\\s*\\)")).globalMatch(withoutComments(sheet));
    while (it.hasNext())
        urls << it.next().captured(1);
    return urls;
}

// Collects the warnings Qt prints while it exists.
class WarningCollector
{
public:
    WarningCollector()
    {
        collected().clear();
        previous = qInstallMessageHandler(&WarningCollector::handle);
    }
    ~WarningCollector() { qInstallMessageHandler(previous); }
    QStringList messages() const { return collected(); }

private:
    static QStringList &collected()
    {
        static QStringList list;
        return list;
    }
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type != QtDebugMsg)
            collected() << message;
    }
    QtMessageHandler previous = nullptr;
};

// What a widget with that sheet shows, over a neutral background.
QImage rendered(QWidget &widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0x80, 0x80, 0x80));
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage expectedOver(const QString &picture, QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(0x80, 0x80, 0x80));
    QPainter p(&image);
    p.drawImage(QRect(QPoint(0, 0), size), QImage(picture));
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

int largestDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return 256;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            worst = qMax(worst, qAbs(qRed(p) - qRed(q)));
            worst = qMax(worst, qAbs(qGreen(p) - qGreen(q)));
            worst = qMax(worst, qAbs(qBlue(p) - qBlue(q)));
        }
    }
    return worst;
}

// Object names in one Designer form, keyed by the form's top-level name.
QHash<QString, QSet<QString>> formsUnder(const QString &dir)
{
    QHash<QString, QSet<QString>> forms;
    QDirIterator it(dir, {QStringLiteral("*.ui")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QXmlStreamReader xml(&file);
        QString form;
        QSet<QString> names;
        while (xml.readNextStartElement() || !xml.atEnd()) {
            if (!xml.isStartElement())
                continue;
            const QString name = xml.attributes().value(QLatin1String("name")).toString();
            if (!name.isEmpty() && xml.name() != QLatin1String("property")) {
                if (form.isEmpty() && xml.name() == QLatin1String("widget"))
                    form = name;
                names.insert(name);
            }
        }
        if (!form.isEmpty())
            forms[form].unite(names);
    }
    return forms;
}

} // namespace

class TestResourceBundle : public QObject
{
    Q_OBJECT

private slots:
    void holdsExactlyTheListedFiles()
    {
        QStringList found;
        for (const QString &root : {QStringLiteral(":/Qss"), QStringLiteral(":/Resources")}) {
            QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                found << it.next();
        }
        const QStringList listed = bundlePaths();
        const QSet<QString> expected(listed.begin(), listed.end());
        const QSet<QString> actual(found.begin(), found.end());
        QStringList missing = (expected - actual).values();
        QStringList extra = (actual - expected).values();
        missing.sort();
        extra.sort();
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("missing: ") + missing.join(QLatin1Char(' '))));
        QVERIFY2(extra.isEmpty(), qPrintable(QStringLiteral("unexpected: ") + extra.join(QLatin1Char(' '))));
        QCOMPARE(found.size(), 77 + 73);
    }

    void filesAreStoredUncompressed()
    {
        for (const QString &path : bundlePaths()) {
            const QResource resource(path);
            QVERIFY2(resource.isValid(), qPrintable(path));
            QVERIFY2(resource.compressionAlgorithm() == QResource::NoCompression, qPrintable(path));
        }
    }

    void picturesHaveTheirSizes_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        for (const BundleFile &file : BUNDLE) {
            if (file.width > 0) {
                QTest::newRow(file.path) << QString::fromLatin1(file.path) << QSize(file.width, file.height);
                const QString twice = twiceSizePath(file.path);
                QTest::newRow(qPrintable(twice)) << twice << QSize(file.width * 2, file.height * 2);
            }
        }
    }

    void picturesHaveTheirSizes()
    {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        QImageReader reader(path);
        QCOMPARE(reader.format(), QByteArray("png"));
        const QImage image = reader.read();
        QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
        QCOMPARE(image.size(), size);
    }

    void iconHoldsSeveralSizes()
    {
        QImageReader reader(RES_APP_ICON);
        QCOMPARE(reader.format(), QByteArray("ico"));
        QSet<int> sizes;
        do {
            const QImage image = reader.read();
            QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
            QCOMPARE(image.width(), image.height());
            QVERIFY(image.hasAlphaChannel());
            sizes.insert(image.width());
        } while (reader.jumpToNextImage());
        // Every size Windows asks for from 100 % to 200 %.
        QCOMPARE(sizes, QSet<int>({16, 20, 24, 32, 40, 48, 64, 256}));

        const QIcon icon(RES_APP_ICON);
        QVERIFY(!icon.isNull());
        QVERIFY(icon.availableSizes().size() >= 3);
        // The window manager asks for small sizes: they come from the small
        // images, not from a scaled-down large one.
        QCOMPARE(icon.pixmap(16, 16).size(), QSize(16, 16));
    }

    void sheetsParse_data()
    {
        QTest::addColumn<QString>("sheet");
        for (const QString &path : sheetPaths())
            QTest::newRow(qPrintable(path)) << path;
    }

    void sheetsParse()
    {
        QFETCH(QString, sheet);
        const QString text = readTextFile(sheet);
        QVERIFY(!text.isEmpty());
        {
            WarningCollector collector;
            QWidget root;
            root.setStyleSheet(text);
            QPushButton button(&root);
            button.setObjectName(QStringLiteral("button_close"));
            QLabel label(&root);
            label.setObjectName(QStringLiteral("label_logo"));
            root.ensurePolished();
            button.ensurePolished();
            label.ensurePolished();
            QVERIFY2(collector.messages().isEmpty(), qPrintable(collector.messages().join(QLatin1Char('\n'))));
        }
    }

    void sheetPicturesExist_data()
    {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<int>("minimumUrls");
        QTest::newRow("main") << QSS_MAIN << 50;
        QTest::newRow("kyoro") << QSS_KYORO << 5;
        QTest::newRow("obs") << QSS_OBS << 5;
    }

    void sheetPicturesExist()
    {
        QFETCH(QString, sheet);
        QFETCH(int, minimumUrls);
        const QStringList urls = urlsOf(readTextFile(sheet));
        QVERIFY2(urls.size() >= minimumUrls, qPrintable(QString::number(urls.size())));
        const QStringList bundle = bundlePaths();
        for (const QString &url : urls)
            QVERIFY2(bundle.contains(url), qPrintable(url + QStringLiteral(" is not in the bundle")));
    }

    // Every bundle path written in the program's code (constants, forms,
    // windows) names a file that exists.
    void codePathsExist()
    {
        const QRegularExpression pathPattern(QStringLiteral(":/(?:Qss|Resources)/[^\"'<>)\\s]+"));
        QStringList seen;
        QDirIterator it(kytest::sourceDir() + QStringLiteral("/src"),
                        {QStringLiteral("*.h"), QStringLiteral("*.cpp"), QStringLiteral("*.ui")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            auto matches = pathPattern.globalMatch(QString::fromUtf8(kytest::readFile(file)));
            while (matches.hasNext()) {
                const QString path = matches.next().captured(0);
                seen << path;
                QVERIFY2(QFile::exists(path), qPrintable(path + QStringLiteral(" named in ") + file));
            }
        }
        // The shared constants alone name the carousel pictures and the icons.
        QVERIFY2(seen.size() >= 16, qPrintable(seen.join(QLatin1Char(' '))));
    }

    // The main sheet used to store its one font name in GBK while the reader
    // decodes UTF-8, so button_jump got a garbled family.
    void mainSheetFontNameArrivesIntact()
    {
        QFile file(QSS_MAIN);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QTextCodec::ConverterState state;
        QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
        QCOMPARE(state.invalidChars, 0);
        QVERIFY(readTextFile(QSS_MAIN).contains(QStringLiteral("\"宋体\"")));

        QWidget root;
        root.setStyleSheet(readTextFile(QSS_MAIN));
        QPushButton jump(&root);
        jump.setObjectName(QStringLiteral("button_jump"));
        jump.ensurePolished();
        QCOMPARE(jump.font().family(), QStringLiteral("宋体"));
        QCOMPARE(jump.font().pixelSize(), 12);
    }

    // Text rules reach the widgets they select: a misspelt object name or a
    // wrong widget type in a selector would leave the default look.
    void textRulesReachTheirWidgets_data()
    {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<bool>("isButton");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QColor>("color");
        QTest::addColumn<int>("pixelSize");
        struct Row {
            const QString &sheet;
            bool isButton;
            const char *names;
            QColor color;
            int pixelSize;
        };
        const QColor dark(0x33, 0x33, 0x33);
        const QColor grey(0x99, 0x99, 0x99);
        const QColor accent(0xff, 0x6f, 0x2c);
        const QColor white(Qt::white);
        const Row rows[] = {
            {QSS_MAIN, false, "label_kyoroTitle label_OBSTitle", dark, 22},
            {QSS_MAIN, false, "label_kyoro_introduce label_OBS_introduce", grey, 12},
            {QSS_MAIN, false, "label_winSupport label_winSupport_2", QColor(0xff, 0x55, 0x00), 12},
            {QSS_MAIN, false, "label_4 label_5", dark, 12},
            {QSS_MAIN, false, "label_visitOBSurl", QColor(0xbb, 0xbb, 0xbb), 12},
            {QSS_MAIN, false, "label_progressValue label_progressValue_2", white, 20},
            {QSS_MAIN, true, "button_cancelDownload button_cancelDownload_2", accent, 12},
            {QSS_MAIN, false, "label_titleName", white, 14},
            {QSS_MAIN, false, "label label_3 label_tip", dark, 14},
            {QSS_MAIN, false, "label_liveplat label_RTMP label_liveCode", grey, 12},
            {QSS_MAIN, false, "label_getCode", accent, 12},
            {QSS_MAIN, false, "label_kyoroClassic label_kyoroShow label_OBSClassic label_OBSStudio", dark, 14},
            {QSS_MAIN, false, "label_loadcomponet label_text", dark, 16},
            {QSS_MAIN, false, "label_current", QColor(0x66, 0x66, 0x66), 14},
            {QSS_MAIN, false,
             "label_plat label_text1 label_text2 label_text3 label_text4 label_text_1_ label_text_2_ label_text_3_ "
             "label_text_4_",
             dark, 14},
            {QSS_MAIN, true, "button_openFolder_1 button_openFolder_2 button_openFolder_3 button_openFolder_4", white, 12},
            {QSS_MAIN, true, "button_get", accent, 12},
            {QSS_MAIN, true, "button_confirm button_getRtmp", white, 14},
            {QSS_MAIN, true, "button_cancel button_reRun_OBS", grey, 14},
            {QSS_KYORO, false, "label_install label_install_2 label_install_3 label_install_4 label_install_5", white, 20},
            {QSS_KYORO, false, "label_OBSurl label_OBSurl_2 label_OBSurl_5", white, 12},
            {QSS_KYORO, false, "label_kyttool label_kyshow", dark, 14},
            {QSS_KYORO, false, "label_testInstalled label_testInstalled_2", QColor(0xaa, 0xaa, 0xaa), 12},
            {QSS_KYORO, false, "label_clickReload label_clickReload_2", accent, 14},
            {QSS_KYORO, true, "button_chosePath", grey, 12},
            {QSS_KYORO, true, "button_confirmInstall button_confirmInstall_2 button_nextStep button_confirm", white, 14},
            {QSS_KYORO, true, "button_cancel button_return", grey, 14},
            {QSS_OBS, false, "label_classic label_studio", dark, 14},
            {QSS_OBS, false, "label_install_3", white, 20},
            {QSS_OBS, false, "label_OBSurl_4", white, 12},
        };
        for (const Row &row : rows) {
            for (const QString &name : QString::fromLatin1(row.names).split(QLatin1Char(' '))) {
                const QString tag = QFileInfo(row.sheet).baseName() + QLatin1Char('/') + name;
                QTest::newRow(qPrintable(tag)) << row.sheet << row.isButton << name << row.color << row.pixelSize;
            }
        }
    }

    void textRulesReachTheirWidgets()
    {
        QFETCH(QString, sheet);
        QFETCH(bool, isButton);
        QFETCH(QString, name);
        QFETCH(QColor, color);
        QFETCH(int, pixelSize);
        QWidget root;
        root.setStyleSheet(readTextFile(sheet));
        QWidget *widget = isButton ? static_cast<QWidget *>(new QPushButton(&root)) : new QLabel(&root);
        widget->setObjectName(name);
        widget->ensurePolished();
        const QPalette::ColorRole role = isButton ? QPalette::ButtonText : QPalette::WindowText;
        QCOMPARE(widget->palette().color(role), color);
        QCOMPARE(widget->font().pixelSize(), pixelSize);
        QCOMPARE(widget->font().family(), QStringLiteral("microsoft yahei"));
    }

    // Image rules follow the widget's state: checked, pressed, disabled and
    // hovered buttons show their own pictures.
    void imageRulesFollowState_data()
    {
        QTest::addColumn<QString>("sheet");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("picture");
        const QSize column(170, 52);
        QTest::newRow("kyoro normal") << QSS_MAIN << "button_KyoroLive" << column << "" << "button_kyoro.png";
        QTest::newRow("kyoro checked") << QSS_MAIN << "button_KyoroLive" << column << "checked" << "button_kyoro_checked.png";
        QTest::newRow("kyoro hover") << QSS_MAIN << "button_KyoroLive" << column << "hover" << "button_kyoro_hover.png";
        QTest::newRow("kyoro checked and hovered")
            << QSS_MAIN << "button_KyoroLive" << column << "checked hover" << "button_kyoro_checked.png";
        QTest::newRow("obs checked") << QSS_MAIN << "button_OBSLive" << column << "checked" << "button_obs_checked.png";
        QTest::newRow("live selected") << QSS_MAIN << "button_live" << QSize(120, 84) << "checked"
                                       << "button_live_selected.png";
        QTest::newRow("toolbox normal") << QSS_MAIN << "button_toolbox" << QSize(120, 84) << "" << "button_toolbox.png";
        QTest::newRow("liveset enabled") << QSS_MAIN << "button_liveset" << QSize(94, 30) << "" << "button_liveset.png";
        QTest::newRow("liveset disabled") << QSS_MAIN << "button_liveset" << QSize(94, 30) << "disabled"
                                          << "button_liveset_disable.png";
        QTest::newRow("running disabled") << QSS_MAIN << "button_running_OBS" << QSize(234, 64) << "disabled hover"
                                          << "button_running.png";
        QTest::newRow("left pressed") << QSS_MAIN << "button_left" << QSize(16, 62) << "pressed" << "button_left_pressed.png";
        QTest::newRow("close hover") << QSS_KYORO << "button_close_3" << QSize(36, 36) << "hover"
                                     << "button_close_hover.png";
        QTest::newRow("false picture") << QSS_MAIN << "label_false_pic" << QSize(120, 120) << "label" << "get_false_pic.png";
        QTest::newRow("kyoro logo") << QSS_KYORO << "label_logo_2" << QSize(60, 60) << "label" << "kyoro_logo.png";
        QTest::newRow("obs logo") << QSS_OBS << "label_logo_5" << QSize(60, 60) << "label" << "OBS_logo.png";
        QTest::newRow("step 2") << QSS_MAIN << "label_step_2" << QSize(620, 394) << "label" << "step_2.png";
    }

    void imageRulesFollowState()
    {
        QFETCH(QString, sheet);
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QFETCH(QString, state);
        QFETCH(QString, picture);
        QWidget root;
        root.setStyleSheet(readTextFile(sheet));
        QWidget *widget = nullptr;
        if (state == QLatin1String("label")) {
            widget = new QLabel(&root);
        } else {
            auto *button = new QPushButton(&root);
            button->setCheckable(state.contains(QLatin1String("checked")));
            button->setChecked(state.contains(QLatin1String("checked")));
            button->setDown(state.contains(QLatin1String("pressed")));
            button->setEnabled(!state.contains(QLatin1String("disabled")));
            widget = button;
        }
        widget->setObjectName(name);
        widget->setFixedSize(size);
        widget->ensurePolished();
        if (state.contains(QLatin1String("hover"))) {
            // Hover comes from a real pointer entering the widget in a shown
            // window; it starts on the margin around it.
            widget->move(4, 4);
            root.resize(size + QSize(8, 8));
            root.show();
            QVERIFY(QTest::qWaitForWindowExposed(&root));
            QTest::mouseMove(&root, QPoint(1, 1));
            QTest::mouseMove(widget, QPoint(size.width() / 2, size.height() / 2));
            QTRY_VERIFY(widget->underMouse());
        }
        const QImage shown = rendered(*widget);
        const QImage expected = expectedOver(QStringLiteral(":/Resources/") + picture, size);
        QVERIFY2(largestDifference(shown, expected) <= 2,
                 qPrintable(QStringLiteral("%1 does not show %2").arg(name, picture)));
    }

    // Each object name a sheet selects must be in one of the forms that load
    // (or inherit) that sheet; a renamed widget would otherwise silently lose
    // its look, and a renamed form its sheet.
    void selectedNamesExistInForms()
    {
        const QHash<QString, QSet<QString>> forms = formsUnder(kytest::sourceDir() + QStringLiteral("/src"));
        const QHash<QString, QStringList> users = {
            {QSS_MAIN,
             {QStringLiteral("kyoroManagerClass"), QStringLiteral("kyTitleBar"), QStringLiteral("kyCenterPictureWidget"),
              QStringLiteral("kyChooseRecordPath"), QStringLiteral("kyMsgTipWidget"), QStringLiteral("kyLiveAddressSet"),
              QStringLiteral("kyGetRtmpFalseWidget"), QStringLiteral("kyGetCodeTutorialWidget"),
              QStringLiteral("kyLoadSliderWidget"), QStringLiteral("kyUpdateNotice")}},
            {QSS_KYORO, {QStringLiteral("kyKyoroInstallWidget"), QStringLiteral("kyInstallWidget")}},
            {QSS_OBS, {QStringLiteral("kyOBSInstallWidget"), QStringLiteral("kyInstallWidget")}},
        };
        // The two install sheets are one set of rules with another logo and
        // other caption names, so the platform tool's sheet also names the
        // OBS wizard's header links; names of any install form count for both.
        const QStringList installForms = {QStringLiteral("kyKyoroInstallWidget"), QStringLiteral("kyOBSInstallWidget"),
                                          QStringLiteral("kyInstallWidget")};
        QStringList absent;
        for (const QStringList &list : users) {
            for (const QString &form : list) {
                if (!forms.contains(form) && !absent.contains(form))
                    absent << form;
            }
        }
        QVERIFY2(absent.isEmpty(), qPrintable(QStringLiteral("no form has the top object ") + absent.join(QLatin1Char(' '))));

        // The install sheets share the secondary-button rule of the other
        // dialogs; no install form has a button_cancel of its own.
        const QSet<QString> sharedRules = {QStringLiteral("button_cancel")};
        for (auto it = users.begin(); it != users.end(); ++it) {
            QSet<QString> known;
            for (const QString &form : it.key() == QSS_MAIN ? it.value() : installForms)
                known.unite(forms.value(form));
            QStringList unknown = (selectedNames(readTextFile(it.key())) - known).values();
            if (it.key() != QSS_MAIN)
                unknown.erase(std::remove_if(unknown.begin(), unknown.end(),
                                             [&](const QString &n) { return sharedRules.contains(n); }),
                              unknown.end());
            unknown.sort();
            QVERIFY2(unknown.isEmpty(), qPrintable(it.key() + QStringLiteral(" selects names no form has: ") +
                                                   unknown.join(QLatin1Char(' '))));
        }
    }
};

KY_TEST_MAIN(TestResourceBundle)
#include "testresourcebundle.moc"
