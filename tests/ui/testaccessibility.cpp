#include "kytestmain.h"
#include "uitesthelpers.h"

#include "common/kyconstants.h"
#include "common/kytexts.h"
#include "ui/kyaccessibility.h"
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

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>

#include <algorithm>
#include <functional>
#include <memory>

// Every window as a screen reader and a keyboard user meet it, through the
// same accessibility interfaces UI Automation and AT-SPI read: each control
// that acts has a name and can be reached (by Tab, or by a key of its own
// when it takes no focus); Tab and Shift+Tab visit every reachable control
// once, in reading order, and come back; pictures are described or left
// out; progress bars tell their value.
namespace {

using Prepare = std::function<void(QWidget *window)>;

struct Case {
    const char *name;
    const char *form; // the form's object name, so that no form goes unwalked
    std::function<QWidget *(QWidget *mainWindow)> make;
    Prepare prepare;
};

QWidget *installWidget(QWidget *parent, int mode)
{
    auto *dialog = new kyInstallWidget(parent);
    dialog->setMode(mode);
    return dialog;
}

void showPage(QWidget *wizard, const char *page)
{
    auto *stack = child<QStackedWidget>(wizard, "stackedWidget");
    stack->setCurrentWidget(child<QWidget>(wizard, page));
}

const QList<Case> &cases()
{
    static const QList<Case> list = {
        {"main window, Kyoro card", "kyoroManagerClass", nullptr, nullptr},
        {"main window, OBS card", "kyoroManagerClass", nullptr,
         [](QWidget *w) { kytest::clickInWindow(child<QPushButton>(w, "button_OBSLive")); }},
        {"main window, toolbox", "kyoroManagerClass", nullptr,
         [](QWidget *w) { kytest::clickInWindow(child<QPushButton>(w, "button_toolbox")); }},
        {"Kyoro wizard, editions", "kyKyoroInstallWidget", [](QWidget *p) { return new kyKyoroInstallWidget(p); },
         nullptr},
        {"Kyoro wizard, folder", "kyKyoroInstallWidget", [](QWidget *p) { return new kyKyoroInstallWidget(p); },
         [](QWidget *w) { kytest::clickInWindow(child<QPushButton>(w, "button_confirmInstall")); }},
        {"Kyoro wizard, done", "kyKyoroInstallWidget", [](QWidget *p) { return new kyKyoroInstallWidget(p); },
         [](QWidget *w) { showPage(w, "page_5"); }},
        {"OBS wizard, editions", "kyOBSInstallWidget", [](QWidget *p) { return new kyOBSInstallWidget(p); }, nullptr},
        {"OBS wizard, folder", "kyOBSInstallWidget", [](QWidget *p) { return new kyOBSInstallWidget(p); },
         [](QWidget *w) { kytest::clickInWindow(child<QPushButton>(w, "button_confirmInstall_2")); }},
        {"OBS wizard, download", "kyOBSInstallWidget", [](QWidget *p) { return new kyOBSInstallWidget(p); },
         [](QWidget *w) { showPage(w, "page_3"); }},
        {"install folder, Kyoro", "kyInstallWidget", [](QWidget *p) { return installWidget(p, 0); }, nullptr},
        {"install folder, OBS Studio", "kyInstallWidget", [](QWidget *p) { return installWidget(p, 3); }, nullptr},
        {"live address, with an address typed", "kyLiveAddressSet",
         [](QWidget *p) { return new kyLiveAddressSet(TOOL_NAME_OBS_STUDIO, p); },
         [](QWidget *w) { QTest::keyClicks(child<QLineEdit>(w, "ledit_RTMP"), QStringLiteral("rtmp://push.example/live")); }},
        {"component loading", "kyLoadSliderWidget",
         [](QWidget *p) { return new kyLoadSliderWidget(LIVE_CODE_MODULE_NAME, p); }, nullptr},
        {"live code failure", "kyGetRtmpFalseWidget", [](QWidget *) { return new kyGetRtmpFalseWidget; }, nullptr},
        {"push code tutorial", "kyGetCodeTutorialWidget", [](QWidget *p) { return new kyGetCodeTutorialWidget(p); },
         nullptr},
        {"record folders", "kyChooseRecordPath", [](QWidget *p) { return new kyChooseRecordPath(p); }, nullptr},
        {"message with cancel", "kyMsgTipWidget",
         [](QWidget *) { return new kyMsgTipWidget(MSG_DOWNLOAD_FAILED, true); }, nullptr},
        {"update notice, tools running", "kyUpdateNotice",
         [](QWidget *p) {
             auto *notice = new kyUpdateNotice(p);
             notice->showOffer(QStringLiteral("1.1.0"), QStringLiteral("修复了直播时偶尔卡顿的问题。"), true, true);
             return notice;
         },
         nullptr},
        {"update not completed", "kyUpdateNotice",
         [](QWidget *p) {
             auto *notice = new kyUpdateNotice(p);
             notice->showIncomplete(QStringLiteral("1.1.0"));
             return notice;
         },
         nullptr},
    };
    return list;
}

// Every form's top widget but those that only live inside a window, which
// are walked with it.
QStringList formNames()
{
    QStringList names = kytest::formTopWidgets().keys();
    names.removeAll(QStringLiteral("kyTitleBar"));
    names.removeAll(QStringLiteral("kyCenterPictureWidget"));
    return names;
}

QString describe(const QWidget *widget)
{
    return widget ? QStringLiteral("%1 (%2)").arg(widget->objectName(), QLatin1String(widget->metaObject()->className()))
                  : QStringLiteral("nothing");
}

QWidget *widgetOf(QAccessibleInterface *iface)
{
    QObject *object = iface->object();
    return object && object->isWidgetType() ? static_cast<QWidget *>(object) : nullptr;
}

// A control the user acts on: a button, box, field or link, or anything
// the keyboard can reach.
bool acts(QAccessibleInterface *iface)
{
    switch (iface->role()) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::Link:
        return true;
    case QAccessible::EditableText:
        return !iface->state().readOnly;
    default:
        return widgetOf(iface) && (widgetOf(iface)->focusPolicy() & Qt::TabFocus) && !iface->state().invisible;
    }
}

// Of radio buttons that exclude each other, Tab stops at the checked one and
// the arrow keys move between them.
bool tabPassesBy(QWidget *widget)
{
    auto *radio = qobject_cast<QRadioButton *>(widget);
    if (!radio || !radio->autoExclusive() || radio->isChecked())
        return false;
    const auto siblings = radio->parentWidget()->findChildren<QRadioButton *>(QString(), Qt::FindDirectChildrenOnly);
    return std::any_of(siblings.begin(), siblings.end(), [](QRadioButton *r) { return r->isChecked(); });
}

// Whether `a` reads before `b`: the children of their nearest common
// ancestor that hold them are compared row by row, top first, and within a
// row from left to right.
bool readsBefore(QWidget *a, QWidget *b)
{
    QWidget *common = a->parentWidget();
    while (common && !common->isAncestorOf(b))
        common = common->parentWidget();
    if (!common)
        return false;
    auto holder = [common](QWidget *w) {
        while (w->parentWidget() != common)
            w = w->parentWidget();
        return w;
    };
    const QRect ra = holder(a)->geometry();
    const QRect rb = holder(b)->geometry();
    const bool sameRow = (ra.center().y() >= rb.top() && ra.center().y() <= rb.bottom())
        || (rb.center().y() >= ra.top() && rb.center().y() <= ra.bottom());
    return sameRow ? ra.left() < rb.left() : ra.top() < rb.top();
}

QWidget *pressTab(QWidget *window, bool forward)
{
    QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : window;
    QTest::keyClick(target, forward ? Qt::Key_Tab : Qt::Key_Backtab, forward ? Qt::NoModifier : Qt::ShiftModifier);
    return QApplication::focusWidget();
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        m_main = std::make_unique<kyoroManager>();
        m_main->initLogic();
    }

    void cleanupTestCase() { m_main.reset(); }

    // A new form must get a case here, or its controls go unchecked.
    void everyFormIsWalked()
    {
        QStringList walked;
        for (const Case &c : cases()) {
            if (!walked.contains(QLatin1String(c.form)))
                walked << QLatin1String(c.form);
        }
        walked.sort();
        QCOMPARE(walked, formNames());
    }

    void windows_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < cases().size(); ++i)
            QTest::newRow(cases()[i].name) << i;
    }

    void windows()
    {
        QFETCH(int, index);
        const Case &c = cases()[index];
        std::unique_ptr<QWidget> owned(c.make ? c.make(m_main.get()) : nullptr);
        QWidget *window = owned ? owned.get() : m_main.get();
        window->show();
        window->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), window);
        if (c.prepare)
            c.prepare(window);
        QApplication::processEvents();

        QList<QWidget *> reachable;
        walkTree(window, QAccessible::queryAccessibleInterface(window), &reachable);
        if (QTest::currentTestFailed())
            return;
        walkTabs(window, reachable);
    }

    // The mark shows only for focus that came from the keyboard: focus given
    // by the mouse draws exactly what no focus draws.
    void focusMarkComesWithTheKeyboardOnly_data()
    {
        QTest::addColumn<QString>("name");
        for (const char *name : {"button_install_kyoro", "button_KyoroLive", "radio_kyShow", "button_useTutorial", "widget",
                                 "button_live", "label_visitOBSurl", "button_installOBS"})
            QTest::newRow(name) << QString::fromLatin1(name);
    }

    void focusMarkComesWithTheKeyboardOnly()
    {
        QFETCH(QString, name);
        m_main->show();
        m_main->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), m_main.get());
        // The Kyoro card, the OBS card for its link, the toolbox (which joins
        // the window when first shown).
        kytest::clickInWindow(child<QPushButton>(m_main.get(), name == QLatin1String("button_installOBS") ? "button_toolbox"
                                                                                                       : "button_live"));
        kytest::clickInWindow(child<QPushButton>(m_main.get(), name == QLatin1String("label_visitOBSurl")
                                                                   ? "button_OBSLive"
                                                                   : "button_KyoroLive"));
        auto *widget = m_main->findChild<QWidget *>(name);
        QVERIFY(widget);
        QTRY_VERIFY_WITH_TIMEOUT(widget->isVisible(), 20000);
        m_main->setFocus(Qt::OtherFocusReason);
        const QImage unfocused = widget->grab().toImage();

        if (widget->focusPolicy() & Qt::ClickFocus) {
            widget->setFocus(Qt::MouseFocusReason);
            QVERIFY(widget->hasFocus());
            QVERIFY(!widget->property(KY_KEYBOARD_FOCUS_PROPERTY).toBool());
            QCOMPARE(widget->grab().toImage(), unfocused);
        } // else a click never gives it the focus

        m_main->setFocus(Qt::OtherFocusReason);
        widget->setFocus(Qt::TabFocusReason);
        QVERIFY(widget->property(KY_KEYBOARD_FOCUS_PROPERTY).toBool());
        QVERIFY2(widget->grab().toImage() != unfocused, "no focus mark is drawn");

        // The mouse takes the mark away, even where the focus stays.
        QTest::mousePress(m_main->windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(40, 40));
        QTest::mouseRelease(m_main->windowHandle(), Qt::LeftButton, Qt::NoModifier, QPoint(40, 40));
        QVERIFY(!widget->property(KY_KEYBOARD_FOCUS_PROPERTY).toBool());
    }

    // Esc does what the dialog's own close button does, down to the
    // failure dialog, whose close button accepts.
    void escapePressesTheCloseButton()
    {
        kyGetRtmpFalseWidget failure;
        auto *close = child<QPushButton>(&failure, "button_close");
        QSignalSpy clicked(close, &QPushButton::clicked);
        kytest::answerNextModal<kyGetRtmpFalseWidget>([](kyGetRtmpFalseWidget *dialog) {
            QVERIFY(QTest::qWaitForWindowActive(dialog));
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        QCOMPARE(failure.exec(), int(QDialog::Accepted));
        QCOMPARE(clicked.count(), 1);

        // Of a wizard's five close buttons, the one on the page in sight.
        kyKyoroInstallWidget wizard(m_main.get());
        wizard.show();
        QVERIFY(QTest::qWaitForWindowActive(&wizard));
        showPage(&wizard, "page_2");
        QSignalSpy first(child<QPushButton>(&wizard, "button_close"), &QPushButton::clicked);
        QSignalSpy second(child<QPushButton>(&wizard, "button_close_2"), &QPushButton::clicked);
        QTest::keyClick(child<QLineEdit>(&wizard, "ledit_installPath"), Qt::Key_Escape);
        QTRY_VERIFY(!wizard.isVisible());
        QCOMPARE(second.count(), 1);
        QCOMPARE(first.count(), 0);
    }

    // The record folders' buttons take no focus; Alt and the row's number
    // press them, and their tool tips say so.
    void folderButtonsHaveKeysOfTheirOwn()
    {
        kyChooseRecordPath dialog(m_main.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        for (int row = 1; row <= 4; ++row) {
            auto *button = dialog.findChild<QPushButton *>(QStringLiteral("button_openFolder_%1").arg(row));
            QVERIFY(button);
            QVERIFY(button->toolTip().contains(QStringLiteral("Alt+%1").arg(row)));
            button->setEnabled(true); // no tool is installed here; an empty row opens nothing
            QSignalSpy clicked(button, &QPushButton::clicked);
            QTest::keyClick(&dialog, Qt::Key(Qt::Key_0 + row), Qt::AltModifier);
            QTRY_COMPARE(clicked.count(), 1);
        }
    }

    // A label that acts is pressed by Enter, and by a screen reader's press
    // action, as by a click.
    void actingLabelsArePressed()
    {
        kyLiveAddressSet dialog(TOOL_NAME_OBS_STUDIO, m_main.get());
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto *link = child<QLabel>(&dialog, "label_getCode");
        link->setFocus(Qt::TabFocusReason);
        bool opened = false;
        kytest::answerNextModal<kyGetCodeTutorialWidget>([&opened](kyGetCodeTutorialWidget *tutorial) {
            opened = true;
            QVERIFY(QTest::qWaitForWindowActive(tutorial));
            QTest::keyClick(tutorial, Qt::Key_Escape);
        });
        QTest::keyClick(link, Qt::Key_Return);
        QVERIFY(opened);

        opened = false;
        kytest::answerNextModal<kyGetCodeTutorialWidget>([&opened](kyGetCodeTutorialWidget *tutorial) {
            opened = true;
            tutorial->close();
        });
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(link);
        QCOMPARE(iface->role(), QAccessible::Link);
        QVERIFY(iface->actionInterface());
        iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(opened);
    }

private:
    // Checks every interface below `iface` and collects the controls the
    // keyboard should reach.
    void walkTree(QWidget *window, QAccessibleInterface *iface, QList<QWidget *> *reachable)
    {
        QVERIFY(iface && iface->isValid());
        QWidget *widget = widgetOf(iface);
        // Windows of their own below it (a box's list) are Qt's to name.
        if (widget && widget->window() != window)
            return;
        const QAccessible::State state = iface->state();
        const QString name = iface->text(QAccessible::Name);
        const QString what = describe(widget);

        if (acts(iface)) {
            QVERIFY2(!name.trimmed().isEmpty(), qPrintable(what + QStringLiteral(" acts without a name")));
            if (!state.invisible && !state.disabled) {
                if (state.focusable) {
                    if (!tabPassesBy(widget))
                        *reachable << widget;
                } else {
                    QAccessibleActionInterface *actions = iface->actionInterface();
                    QStringList keys;
                    if (actions) {
                        for (const QString &action : actions->actionNames())
                            keys += actions->keyBindingsForAction(action);
                    }
                    keys.removeAll(QString());
                    QVERIFY2(!keys.isEmpty(), qPrintable(what + QStringLiteral(" takes no focus and has no key")));
                }
            }
        }
        if (!state.invisible && widget && widget->isVisible()) {
            if (iface->role() == QAccessible::StaticText || iface->role() == QAccessible::Graphic)
                QVERIFY2(!name.trimmed().isEmpty(),
                         qPrintable(what + QStringLiteral(" is a picture with no description or an empty text")));
            if (iface->role() == QAccessible::ProgressBar) {
                auto *bar = qobject_cast<QProgressBar *>(widget);
                QVERIFY2(!name.isEmpty() && iface->valueInterface(), qPrintable(what));
                QCOMPARE(iface->valueInterface()->currentValue().toInt(), bar->value());
            }
        }
        for (int i = 0; i < iface->childCount(); ++i) {
            QAccessibleInterface *child = iface->child(i);
            QVERIFY2(child, qPrintable(what + QStringLiteral(" lists a child it cannot give")));
            // A screen reader finds its way up and down alike.
            QWidget *childWidget = widgetOf(child);
            if (widget && childWidget && childWidget->parentWidget() == widget) {
                QCOMPARE(child->parent(), iface);
                QCOMPARE(iface->indexOfChild(child), i);
            }
            walkTree(window, child, reachable);
            if (QTest::currentTestFailed())
                return;
        }
    }

    // Tab goes round every reachable control once, in reading order, and
    // Shift+Tab goes round the same way back.
    void walkTabs(QWidget *window, QList<QWidget *> reachable)
    {
        if (reachable.isEmpty()) {
            QVERIFY2(!pressTab(window, true) || QApplication::focusWidget() == window,
                     "Tab reaches a control the window does not show as acting");
            return;
        }
        QList<QWidget *> round;
        QWidget *first = pressTab(window, true);
        QVERIFY2(first, "Tab reaches nothing");
        round << first;
        for (int step = 0; step <= reachable.size(); ++step) {
            QWidget *next = pressTab(window, true);
            if (next == first)
                break;
            QVERIFY2(next && next != round.last(), qPrintable(QStringLiteral("Tab is trapped on ") + describe(round.last())));
            QVERIFY2(!round.contains(next), qPrintable(describe(next) + QStringLiteral(" is reached twice")));
            round << next;
        }
        QVERIFY2(pressTab(window, false) == round.last(), "Shift+Tab does not go back the same way");
        for (int i = round.size() - 2; i >= 0; --i)
            QCOMPARE(describe(pressTab(window, false)), describe(round.at(i)));

        for (QWidget *widget : round)
            QVERIFY2(reachable.contains(widget), qPrintable(describe(widget) + QStringLiteral(" is reached but does not act")));
        for (QWidget *widget : reachable)
            QVERIFY2(round.contains(widget), qPrintable(describe(widget) + QStringLiteral(" acts but Tab never reaches it")));
        // The round starts anywhere; it reads in order from its first control.
        const auto start = std::min_element(round.begin(), round.end(),
                                            [](QWidget *a, QWidget *b) { return readsBefore(a, b); });
        std::rotate(round.begin(), start, round.end());
        for (int i = 1; i < round.size(); ++i)
            QVERIFY2(!readsBefore(round.at(i), round.at(i - 1)),
                     qPrintable(describe(round.at(i - 1)) + QStringLiteral(" is reached before ")
                                + describe(round.at(i)) + QStringLiteral(", which reads first")));
    }

    std::unique_ptr<kyoroManager> m_main;
};

KY_TEST_MAIN(TestAccessibility)
#include "testaccessibility.moc"
