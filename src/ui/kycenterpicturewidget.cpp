#include "ui/kycenterpicturewidget.h"
#include "ui_kycenterpicturewidget.h"

#include "common/kytexts.h"
#include "logic/kytoolfacts.h"

#include "ui/kypictures.h"

kyCenterPictureWidget::kyCenterPictureWidget(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::kyCenterPictureWidget>())
{
    ui->setupUi(this);
    ui->button_left->hide();
    ui->button_right->hide();
    setTool(TOOL_NAME_KYTOOL);
}

kyCenterPictureWidget::~kyCenterPictureWidget() = default;

void kyCenterPictureWidget::setTool(QString name)
{
    // A name that is no tool keeps the pictures shown.
    if (const ToolFacts *tool = toolFacts(name))
        m_pictures = tool->pictures;
    showPicture(true);
}

QString kyCenterPictureWidget::currentPicture() const
{
    return m_showingFirst ? m_pictures.first : m_pictures.second;
}

void kyCenterPictureWidget::showPicture(bool first)
{
    m_showingFirst = first;
    // Shown unscaled: the label and the pictures are both 400 x 264. Loaded
    // through the pixmap cache: both cards start with the same picture, and
    // switching tools back and forth shows the same few again.
    ui->label_picture->setPixmap(kyPicture(currentPicture(), devicePixelRatioF()));
    ui->label_switch_selected->setVisible(first);
    ui->label_switch_selected_2->setVisible(!first);
}

void kyCenterPictureWidget::togglePicture()
{
    // Two pictures only, so both arrows step to the other one.
    showPicture(!m_showingFirst);
}

void kyCenterPictureWidget::enterEvent(QEvent *event)
{
    ui->button_left->show();
    ui->button_right->show();
    QWidget::enterEvent(event);
}

void kyCenterPictureWidget::leaveEvent(QEvent *event)
{
    ui->button_left->hide();
    ui->button_right->hide();
    QWidget::leaveEvent(event);
}

void kyCenterPictureWidget::on_button_left_clicked()
{
    togglePicture();
}

void kyCenterPictureWidget::on_button_right_clicked()
{
    togglePicture();
}
