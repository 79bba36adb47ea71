#include "ui/kymsgtipwidget.h"
#include "ui_kymsgtipwidget.h"

#include "common/kypaths.h"
#include "common/kytexts.h"
#include "ui/kyaccessibility.h"

kyMsgTipWidget::kyMsgTipWidget(QString message, bool showCancel, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::kyMsgTipWidget>())
    , m_message(std::move(message))
    , m_showCancel(showCancel)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    // The application-wide drag filter moves the dialog by its title strip.
    setProperty("CanMove", true);
    setProperty("TitleHeight", 36);
    setStyleSheet(readTextFile(QSS_MAIN));

    ui->label_tip->setText(m_message);
    if (!m_showCancel)
        ui->button_cancel->hide();

    // Screen readers read the message as an alert when the box opens.
    kyMarkDecorative({ui->liveAddress_titleback});
    kySetAccessibleRole(this, QAccessible::AlertMessage);
    setAccessibleDescription(m_message);
    kyAnnounceWhenShown(this);
    kyCloseOnEscape(ui->button_close);
}

kyMsgTipWidget::~kyMsgTipWidget() = default;

void kyMsgTipWidget::on_button_close_clicked()
{
    close();
}

void kyMsgTipWidget::on_button_confirm_clicked()
{
    accept();
}

void kyMsgTipWidget::on_button_cancel_clicked()
{
    reject();
}
