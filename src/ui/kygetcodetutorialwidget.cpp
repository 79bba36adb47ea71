#include "ui/kygetcodetutorialwidget.h"
#include "ui_kygetcodetutorialwidget.h"

#include "common/kyhosts.h"
#include "common/kypaths.h"
#include "common/kytexts.h"

#include <QColor>
#include <QPalette>

kyGetCodeTutorialWidget::kyGetCodeTutorialWidget(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::kyGetCodeTutorialWidget>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    setProperty("CanMove", true);
    setProperty("TitleHeight", 36);
    setStyleSheet(readTextFile(QSS_MAIN));

    // The site's address is the platform's, which the sandbox replaces.
    ui->label_text_1_->setText(QStringLiteral("登录Kyoro官网（") + webSiteDisplayAddress()
                               + QStringLiteral("），鼠标移入官网右上角用户头像，点击【直播设置】"));
    QPalette background = ui->scrollAreaWidgetContents->palette();
    background.setColor(QPalette::Window, QColor(QStringLiteral("#f5f5fb")));
    ui->scrollAreaWidgetContents->setPalette(background);
    ui->scrollAreaWidgetContents->setAutoFillBackground(true);
}

kyGetCodeTutorialWidget::~kyGetCodeTutorialWidget() = default;

void kyGetCodeTutorialWidget::on_button_close_clicked()
{
    close();
}

void kyGetCodeTutorialWidget::on_button_jump_clicked()
{
    openUrl(webSiteUrl(QStringLiteral("/room/my")));
}
