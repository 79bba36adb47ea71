#include "ui/kytitlebar.h"

#include <QSystemTrayIcon>
#include "ui_kytitlebar.h"

#include "common/kypaths.h"
#include "common/kystartuptrace.h"
#include "common/kytexts.h"
#include "ui/kyaccessibility.h"
#include "ui/kypictures.h"

#include <QShortcut>

kyTitleBar::kyTitleBar(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::kyTitleBar>())
{
    // Queued connections and string-based ones name the type as "pageType".
    qRegisterMetaType<pageType>("pageType");

    ui->setupUi(this);
    setStyleSheet(readTextFile(QSS_MAIN));

    setAutoFillBackground(true);
    const QBrush back = kyStretchedPicture(RES_TITLEBAR_BACK, size(), devicePixelRatioF());
    if (back.style() != Qt::NoBrush) {
        QPalette pal = palette();
        pal.setBrush(QPalette::Window, back);
        setPalette(pal);
    }

    ui->button_live->setCheckable(true);
    ui->button_toolbox->setCheckable(true);
    // Nobody is connected yet; this only sets the live page button checked.
    on_button_live_clicked();

    initKeyboard();
    kyStartupMark("title bar: built");
}

void kyTitleBar::initKeyboard()
{
    kyMarkDecorative({ui->label_logo});
    // Each page has a key of its own, and Ctrl+Tab goes to the other page as
    // in a tabbed window. The keys press the page buttons, so the buttons'
    // checked state follows as for a click.
    ui->button_live->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_1));
    ui->button_toolbox->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_2));
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Tab), this), &QShortcut::activated, this, [this]() {
        (ui->button_live->isChecked() ? ui->button_toolbox : ui->button_live)->click();
    });
}

kyTitleBar::~kyTitleBar() = default;

void kyTitleBar::on_button_min_clicked()
{
    if (auto *window = qobject_cast<QWidget *>(parent()))
        window->showMinimized();
}

void kyTitleBar::on_button_close_clicked()
{
    // With a tray the main window goes out of sight without a close event and
    // lives on in the tray. Without one it could never come back: closing it
    // lets the window end the program.
    auto *window = qobject_cast<QWidget *>(parent());
    if (!window)
        return;
    if (QSystemTrayIcon::isSystemTrayAvailable())
        window->hide();
    else
        window->close();
}

void kyTitleBar::on_button_live_clicked()
{
    emit slg_Openpage(PAGE_LIVE);
    ui->button_live->setChecked(true);
    ui->button_toolbox->setChecked(false);
}

void kyTitleBar::on_button_toolbox_clicked()
{
    emit slg_Openpage(PAGE_TOOLBOX);
    ui->button_live->setChecked(false);
    ui->button_toolbox->setChecked(true);
}
