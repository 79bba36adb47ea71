#include "ui/kygetcodetutorialwidget.h"
#include "ui_kygetcodetutorialwidget.h"

#include "common/kyhosts.h"
#include "common/kypaths.h"
#include "common/kytexts.h"
#include "ui/kyaccessibility.h"

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

    kyMarkDecorative({ui->choose_titleback, ui->label_logo});
    kyCloseOnEscape(ui->button_close);
    // What each step's picture shows, for screen readers.
    kyDescribePicture(ui->label_step_1, QStringLiteral("官网右上角用户头像的菜单，其中标出了【直播设置】"));
    kyDescribePicture(ui->label_step_2, QStringLiteral("直播设置页底部的【开始直播】按钮和随后提示框中的【确定】"));
    kyDescribePicture(ui->label_step_3, QStringLiteral("直播间页面的推流信息：RTMP地址和直播码，各带一个【复制】按钮"));
    kyDescribePicture(ui->label_step_4,
                      QStringLiteral("直播管家的OBS页：点击【推流设置】，粘贴RTMP地址和直播码，再点击【确认】"));
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
