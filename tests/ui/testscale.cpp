// Every top-level window at the display scale of this run (Qt's own scale
// setting, QT_SCALE_FACTOR; ctest runs the suite once per scale, 100 % to
// 200 %): each window is its logical size times the scale in device pixels,
// no text is wider or taller than the widget that shows it, every picture is
// drawn from its 2x copy above 100 % (and none at 100 %), dragging moves by
// logical pixels, and the main window opens where its title bar shows.

#include "kytestmain.h"
#include "uitesthelpers.h"

#include "app/appinit.h"
#include "app/kyscaling.h"
#include "common/kyconstants.h"
#include "common/kytexts.h"
#include "ui/framelesshelper.h"
#include "ui/kychooserecordpath.h"
#include "ui/kygetcodetutorialwidget.h"
#include "ui/kygetrtmpfalsewidget.h"
#include "ui/kyinstallwidget.h"
#include "ui/kykyoroinstallwidget.h"
#include "ui/kyliveaddressset.h"
#include "ui/kyloadsliderwidget.h"
#include "ui/kymsgtipwidget.h"
#include "ui/kyobsinstallwidget.h"
#include "ui/kyoromanager.h"
#include "ui/kyupdatenotice.h"
#include "ui/kywindowplacement.h"

#include <QAbstractButton>
#include <QBackingStore>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPaintEngine>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QStyleOptionButton>
#include <QXmlStreamReader>

#include <functional>
#include <memory>

namespace {

qreal runScale()
{
    bool ok = false;
    const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&ok);
    return ok ? scale : 1.0;
}

// What a paint engine is handed to draw: the pictures (pixmaps, images,
// texture brushes), how many of their pixels cover how many device pixels,
// and their device pixel ratio. Shapes and text are dropped.
class RecordingEngine : public QPaintEngine
{
public:
    RecordingEngine()
        : QPaintEngine(QPaintEngine::AllFeatures)
    {
    }

    struct Drawn {
        QSizeF source;  // the picture's pixels drawn; empty for a pattern
        QSizeF covered; // the device pixels they cover
        qreal ratio;
    };
    QVector<Drawn> drawn;

    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState &state) override
    {
        if (state.state() & DirtyTransform)
            m_transform = state.transform();
        // Patterns repeat at their own device pixel ratio.
        if ((state.state() & DirtyBrush) && state.brush().style() == Qt::TexturePattern)
            drawn.push_back({QSizeF(), QSizeF(), state.brush().texture().devicePixelRatioF()});
    }
    void drawPixmap(const QRectF &target, const QPixmap &pixmap, const QRectF &source) override
    {
        note(target, source, pixmap.devicePixelRatioF());
    }
    void drawTiledPixmap(const QRectF &, const QPixmap &pixmap, const QPointF &) override
    {
        drawn.push_back({QSizeF(), QSizeF(), pixmap.devicePixelRatioF()});
    }
    void drawImage(const QRectF &target, const QImage &image, const QRectF &source, Qt::ImageConversionFlags) override
    {
        note(target, source, image.devicePixelRatioF());
    }
    void drawPath(const QPainterPath &) override {}
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
    void drawPolygon(const QPoint *, int, PolygonDrawMode) override {}
    void drawTextItem(const QPointF &, const QTextItem &) override {}

private:
    void note(const QRectF &target, const QRectF &source, qreal ratio)
    {
        if (!source.isEmpty())
            drawn.push_back({source.size(), m_transform.mapRect(target).size(), ratio});
    }

    QTransform m_transform;
};

// A paint device of the window's size and device pixel ratio, as the window's
// backing store is, that records what is drawn on it.
class RecordingDevice : public QPaintDevice
{
public:
    RecordingDevice(QSize size, qreal ratio)
        : m_size(size)
        , m_ratio(ratio)
    {
    }
    ~RecordingDevice() override = default;
    QPaintEngine *paintEngine() const override { return &m_engine; }
    const QVector<RecordingEngine::Drawn> &drawn() const { return m_engine.drawn; }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return qRound(m_size.width() * m_ratio);
        case PdmHeight:
            return qRound(m_size.height() * m_ratio);
        case PdmDevicePixelRatio:
            return qRound(m_ratio);
        case PdmDevicePixelRatioScaled:
            return qRound(m_ratio * devicePixelRatioFScale());
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return 0;
        case PdmWidthMM:
            return qRound(m_size.width() * 25.4 / 96);
        case PdmHeightMM:
            return qRound(m_size.height() * 25.4 / 96);
        default:
            return 96;
        }
    }

private:
    QSize m_size;
    qreal m_ratio;
    mutable RecordingEngine m_engine;
};

// The size a Designer form gives its top widget.
QSize formSize(const QString &form)
{
    QFile file(kytest::sourceDir() + QStringLiteral("/src/ui/") + form + QStringLiteral(".ui"));
    if (!file.open(QIODevice::ReadOnly))
        return QSize();
    QXmlStreamReader xml(&file);
    int width = -1;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == QLatin1String("width"))
            width = xml.readElementText().toInt();
        else if (xml.isStartElement() && xml.name() == QLatin1String("height") && width >= 0)
            return QSize(width, xml.readElementText().toInt());
    }
    return QSize();
}

// The texts of the window's visible widgets that do not fit the widget that
// shows them, each with why.
QStringList clippedTexts(QWidget *window)
{
    QStringList clipped;
    auto report = [&clipped](const QWidget *widget, const QString &text, QSize needed, QSize available) {
        clipped << QStringLiteral("%1 \"%2\" needs %3x%4, has %5x%6")
                       .arg(widget->objectName(), text.left(20))
                       .arg(needed.width())
                       .arg(needed.height())
                       .arg(available.width())
                       .arg(available.height());
    };
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (!widget->isVisibleTo(window))
            continue;
        if (auto *label = qobject_cast<QLabel *>(widget)) {
            if (label->text().isEmpty())
                continue;
            if (label->wordWrap()) {
                const int needed = label->heightForWidth(label->width());
                if (needed > label->height())
                    report(label, label->text(), QSize(label->width(), needed), label->size());
                continue;
            }
            const QRect area = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(),
                                                              -label->margin());
            const QRect text = label->fontMetrics().boundingRect(area, int(label->alignment()), label->text());
            if (text.width() > area.width() || text.height() > area.height())
                report(label, label->text(), text.size(), area.size());
        } else if (auto *button = qobject_cast<QAbstractButton *>(widget)) {
            if (button->text().isEmpty())
                continue;
            if (qobject_cast<QRadioButton *>(button) || qobject_cast<QCheckBox *>(button)) {
                // Indicator, spacing and text, as the style lays them out.
                const QSize needed = button->sizeHint();
                if (needed.width() > button->width() || needed.height() > button->height())
                    report(button, button->text(), needed, button->size());
                continue;
            }
            QStyleOptionButton option;
            option.initFrom(button);
            option.text = button->text();
            const QRect area = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            const QRect text = button->fontMetrics().boundingRect(area, Qt::AlignCenter | Qt::TextShowMnemonic,
                                                                  button->text());
            if (text.width() > area.width() || text.height() > area.height())
                report(button, button->text(), text.size(), area.size());
        } else if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
            // A long path scrolls; a line cut at its top or bottom is clipped.
            const int needed = edit->fontMetrics().height();
            if (needed > edit->contentsRect().height())
                report(edit, edit->text(), QSize(0, needed), edit->contentsRect().size());
        }
    }
    return clipped;
}

struct TopLevel {
    QString name;
    QString form;
    std::function<QWidget *(QWidget *mainWindow)> make;
    int page; // the page of the window's stacked widget to show; -1: as made
};

QWidget *installWidget(QWidget *parent, int mode)
{
    auto *dialog = new kyInstallWidget(parent);
    dialog->setMode(mode);
    return dialog;
}

QList<TopLevel> topLevels()
{
    QList<TopLevel> list;
    for (int mode = 0; mode < 4; ++mode) {
        list << TopLevel{QStringLiteral("install folder, mode %1").arg(mode), QStringLiteral("kyinstallwidget"),
                         [mode](QWidget *p) { return installWidget(p, mode); }, -1};
    }
    for (int page = 0; page < 5; ++page) {
        list << TopLevel{QStringLiteral("Kyoro wizard, step %1").arg(page + 1), QStringLiteral("kykyoroinstallwidget"),
                         [](QWidget *p) { return new kyKyoroInstallWidget(p); }, page};
        list << TopLevel{QStringLiteral("OBS wizard, step %1").arg(page + 1), QStringLiteral("kyobsinstallwidget"),
                         [](QWidget *p) { return new kyOBSInstallWidget(p); }, page};
    }
    list << TopLevel{QStringLiteral("live address"), QStringLiteral("kyliveaddressset"),
                     [](QWidget *p) { return new kyLiveAddressSet(TOOL_NAME_OBS_STUDIO, p); }, -1};
    list << TopLevel{QStringLiteral("tutorial"), QStringLiteral("kygetcodetutorialwidget"),
                     [](QWidget *p) { return new kyGetCodeTutorialWidget(p); }, -1};
    list << TopLevel{QStringLiteral("message with cancel"), QStringLiteral("kymsgtipwidget"),
                     [](QWidget *) { return new kyMsgTipWidget(MSG_DOWNLOAD_FAILED, true); }, -1};
    list << TopLevel{QStringLiteral("message"), QStringLiteral("kymsgtipwidget"),
                     [](QWidget *) { return new kyMsgTipWidget(MSG_OBS_RUNNING, false); }, -1};
    list << TopLevel{QStringLiteral("failure"), QStringLiteral("kygetrtmpfalsewidget"),
                     [](QWidget *) { return new kyGetRtmpFalseWidget; }, -1};
    list << TopLevel{QStringLiteral("component loading"), QStringLiteral("kyloadsliderwidget"),
                     [](QWidget *p) { return new kyLoadSliderWidget(LIVE_CODE_MODULE_NAME, p); }, -1};
    list << TopLevel{QStringLiteral("folder chooser"), QStringLiteral("kychooserecordpath"),
                     [](QWidget *p) { return new kyChooseRecordPath(p); }, -1};
    list << TopLevel{QStringLiteral("update notice"), QStringLiteral("kyupdatenotice"),
                     [](QWidget *p) {
                         auto *notice = new kyUpdateNotice(p);
                         notice->showOffer(QStringLiteral("1.1.0"), QStringLiteral("修复了直播时偶尔卡顿的问题。"),
                                           true, true);
                         return notice;
                     },
                     -1};
    return list;
}

} // namespace

class TestScale : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qApp->installEventFilter(AppInit::instance());
        m_window = std::make_unique<kyoroManager>();
        m_window->initLogic();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        QCOMPARE(m_window->devicePixelRatioF(), runScale());
    }

    void cleanupTestCase() { m_window.reset(); }

    void mainWindow_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("live page, Kyoro card") << "button_KyoroLive";
        QTest::newRow("live page, OBS card") << "button_OBSLive";
        QTest::newRow("toolbox page") << "button_toolbox";
    }

    void mainWindow()
    {
        QFETCH(QString, button);
        child<QPushButton>(m_window.get(), "button_live")->click();
        child<QPushButton>(m_window.get(), qPrintable(button))->click();
        verifyWindow(m_window.get(), formSize(QStringLiteral("kyoromanager")));
    }

    void dialogs_data()
    {
        QTest::addColumn<int>("index");
        const QList<TopLevel> list = topLevels();
        for (int i = 0; i < list.size(); ++i)
            QTest::newRow(qPrintable(list[i].name)) << i;
    }

    void dialogs()
    {
        QFETCH(int, index);
        const TopLevel window = topLevels().at(index);
        std::unique_ptr<QWidget> dialog(window.make(m_window.get()));
        if (window.page >= 0)
            child<QStackedWidget>(dialog.get(), "stackedWidget")->setCurrentIndex(window.page);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
        verifyWindow(dialog.get(), formSize(window.form));
    }

    // Title bar and dialog dragging, and the frameless helper's edges, count
    // in logical pixels: the same hand movement at any scale.
    void dragsInLogicalPixels()
    {
        const QPoint start = m_window->pos();
        QWindow *handle = m_window->windowHandle();
        // The window follows the pointer: the release is where the press
        // was, in the window's own coordinates.
        QTest::mousePress(handle, Qt::LeftButton, Qt::NoModifier, QPoint(300, 60));
        QTest::mouseMove(handle, QPoint(330, 80));
        QTest::mouseRelease(handle, Qt::LeftButton, Qt::NoModifier, QPoint(300, 60));
        QVERIFY2((m_window->pos() - start - QPoint(30, 20)).manhattanLength() <= 1,
                 qPrintable(QStringLiteral("moved by %1, %2").arg((m_window->pos() - start).x()).arg((m_window->pos() - start).y())));

        kyMsgTipWidget message(MSG_DOWNLOAD_FAILED, true);
        message.show();
        QVERIFY(QTest::qWaitForWindowExposed(&message));
        const QPoint before = message.pos();
        QTest::mousePress(message.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(60, 20));
        QTest::mouseMove(message.windowHandle(), QPoint(85, 35));
        QTest::mouseRelease(message.windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(60, 20));
        QVERIFY((message.pos() - before - QPoint(25, 15)).manhattanLength() <= 1);

        QWidget framed(nullptr, Qt::FramelessWindowHint);
        framed.resize(300, 200);
        FramelessHelper helper;
        helper.attachWidget(&framed);
        helper.setResizable(true);
        framed.show();
        QVERIFY(QTest::qWaitForWindowExposed(&framed));
        QTest::mouseMove(framed.windowHandle(), QPoint(2, 100));
        QTRY_COMPARE(framed.cursor().shape(), Qt::SizeHorCursor);
        QTest::mouseMove(framed.windowHandle(), QPoint(20, 100));
        QTRY_COMPARE(framed.cursor().shape(), Qt::ArrowCursor);
    }

    // Centred where the window fits, else at the area's top left with the
    // title bar on the screen; the offscreen screen is smaller than the main
    // window at every scale.
    void opensInsideTheAvailableArea()
    {
        const qreal scale = runScale();
        const QSize frame(942, 622);
        const QRect wide(0, 0, qRound(2560 / scale), qRound(1400 / scale));
        const QRect centred(kyOpeningPosition(wide, frame), frame);
        QVERIFY(wide.contains(centred));
        QVERIFY(qAbs((centred.left() - wide.left()) - (wide.right() - centred.right())) <= 1);
        QVERIFY(qAbs((centred.top() - wide.top()) - (wide.bottom() - centred.bottom())) <= 1);
        // 1920 x 1080 less a task bar at 175 %: 1097 x 594.
        const QRect small(0, 0, qRound(1920 / 1.75), qRound(1040 / 1.75));
        QCOMPARE(kyOpeningPosition(small.translated(0, 30), frame), QPoint(0, 30));

        kyoroManager window;
        QCOMPARE(window.pos(), window.screen()->availableGeometry().topLeft());
    }

private:
    void verifyWindow(QWidget *window, QSize designed)
    {
        const qreal scale = runScale();
        QVERIFY(designed.isValid());
        QCOMPARE(window->size(), designed);

        // The buffer the window's pixels are drawn into, in device pixels.
        QVERIFY(window->backingStore());
        const QPaintDevice *pixels = window->backingStore()->paintDevice();
        const QSizeF expected = QSizeF(designed) * scale;
        QVERIFY2(qAbs(pixels->width() - expected.width()) <= expected.width() * 0.02 &&
                     qAbs(pixels->height() - expected.height()) <= expected.height() * 0.02,
                 qPrintable(QStringLiteral("%1x%2 device pixels, expected %3x%4")
                                .arg(pixels->width())
                                .arg(pixels->height())
                                .arg(expected.width())
                                .arg(expected.height())));

        const QStringList clipped = clippedTexts(window);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral("; "))));

        RecordingDevice device(window->size(), window->devicePixelRatioF());
        window->render(&device);
        QVERIFY2(!device.drawn().isEmpty(), "the window drew no picture");
        for (const RecordingEngine::Drawn &drawn : device.drawn()) {
            bool wrong = false;
            if (scale == 1) {
                // At 100 % no 2x copy is read at all.
                wrong = drawn.ratio != 1;
            } else if (drawn.ratio > 1 || drawn.source.isEmpty()) {
                // A 2x copy, or a picture resampled for this scale.
                wrong = drawn.ratio < qMin(scale, 2.0) - 0.01;
            } else {
                // Without a ratio (an icon made at the device size, as style
                // sheets draw indicators): it must have about as many pixels
                // as it covers, where a 1x picture has 1 / scale of them.
                wrong = drawn.source.width() < drawn.covered.width() * 0.85 ||
                        drawn.source.height() < drawn.covered.height() * 0.85;
            }
            QVERIFY2(!wrong, qPrintable(QStringLiteral("%1x%2 picture pixels (ratio %3) cover %4x%5 device pixels "
                                                       "at scale %6")
                                            .arg(drawn.source.width())
                                            .arg(drawn.source.height())
                                            .arg(drawn.ratio)
                                            .arg(drawn.covered.width())
                                            .arg(drawn.covered.height())
                                            .arg(scale)));
        }
    }

    std::unique_ptr<kyoroManager> m_window;
};

int main(int argc, char *argv[])
{
    return kytest::runTest<QApplication, TestScale>(argc, argv, &enableDisplayScaling);
}
#include "testscale.moc"
