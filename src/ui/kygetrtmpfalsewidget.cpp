#include "ui/kygetrtmpfalsewidget.h"
#include "ui_kygetrtmpfalsewidget.h"

#include "common/kyhosts.h"
#include "common/kypaths.h"
#include "common/kytexts.h"
#include "ui/kyaccessibility.h"

#include <QColor>
#include <QPalette>

kyGetRtmpFalseWidget::kyGetRtmpFalseWidget(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::kyGetRtmpFalseWidget>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    setProperty("CanMove", true);
    setProperty("TitleHeight", 36);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(QStringLiteral("#f5f5fb")));
    setPalette(background);
    setAutoFillBackground(true);
    setStyleSheet(readTextFile(QSS_MAIN));

    // The picture repeats the text under it; the text is read when the
    // dialog opens.
    kyMarkDecorative({ui->liveAddress_titleback, ui->label_logo, ui->label_false_pic});
    setAccessibleDescription(ui->label_text->text());
    kyAnnounceWhenShown(this);
    kyCloseOnEscape(ui->button_close);
}

kyGetRtmpFalseWidget::~kyGetRtmpFalseWidget() = default;

void kyGetRtmpFalseWidget::on_button_close_clicked()
{
    accept();
}

void kyGetRtmpFalseWidget::on_button_getRtmp_clicked()
{
    openUrl(webSiteUrl(QStringLiteral("/room/my")));
    accept();
}

void kyGetRtmpFalseWidget::on_button_reRun_OBS_clicked()
{
    reject();
}
