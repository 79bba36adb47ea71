#include "ui/kycenterpicturewidget.h"
#include "ui_kycenterpicturewidget.h"

#include "common/kystartuptrace.h"
#include "common/kytexts.h"
#include "logic/kytoolfacts.h"
#include "ui/kyaccessibility.h"
#include "ui/kypictures.h"

#include <QHash>
#include <QKeyEvent>

namespace {
// What each screenshot shows, for screen readers.
QString pictureDescription(const QString &picture)
{
    static const QHash<QString, QString> descriptions = {
        {PICTURES_KYTOOL.first, QStringLiteral("Kyoro直播伴侣经典版截图：直播画面、场景列表和弹幕助手")},
        {PICTURES_KYTOOL.second, QStringLiteral("Kyoro直播伴侣经典版截图：个性主题和手游投屏")},
        {PICTURES_KYSHOW.first, QStringLiteral("Kyoro秀场直播伴侣截图：美颜设置")},
        {PICTURES_KYSHOW.second, QStringLiteral("Kyoro秀场直播伴侣截图：可爱挂件和酷炫特效")},
        {PICTURES_OBS_CLASSIC.first, QStringLiteral("OBS经典版截图：主窗口的场景和来源")},
        {PICTURES_OBS_CLASSIC.second, QStringLiteral("OBS经典版截图：填写推流地址和直播码的设置")},
        {PICTURES_OBS_STUDIO.first, QStringLiteral("OBS工作室版截图：主窗口的场景、来源和控件")},
        {PICTURES_OBS_STUDIO.second, QStringLiteral("OBS工作室版截图：填写服务器和串流密钥的推流设置")},
    };
    return descriptions.value(picture);
}
} // namespace

kyCenterPictureWidget::kyCenterPictureWidget(QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::kyCenterPictureWidget>())
{
    ui->setupUi(this);
    ui->button_left->hide();
    ui->button_right->hide();
    // The dots repeat what the picture's description says (first or second).
    kyMarkDecorative({ui->label_switchpoint, ui->label_switchpoint_2, ui->label_switch_selected,
                      ui->label_switch_selected_2});
    // Tab reaches the carousel (a click does not focus it, as before); the
    // arrow keys switch the pictures.
    setFocusPolicy(Qt::TabFocus);
    setAccessibleDescription(QStringLiteral("按左右方向键切换图片"));
    // The picture covers the whole carousel: its keyboard focus mark is a
    // frame laid over the picture, under the arrows and dots, shown while
    // the carousel has the keyboard focus property.
    ui->frame_keyboardFocus->setAttribute(Qt::WA_TransparentForMouseEvents);
    ui->frame_keyboardFocus->hide();
    kyMarkDecorative({ui->frame_keyboardFocus});
    setTool(TOOL_NAME_KYTOOL);
    kyStartupMark("carousel: built");
}

kyCenterPictureWidget::~kyCenterPictureWidget() = default;

void kyCenterPictureWidget::setTool(QString name)
{
    // A name that is no tool keeps the pictures shown.
    if (const ToolFacts *tool = toolFacts(name)) {
        m_pictures = tool->pictures;
        setAccessibleName(tool->cardTitle + QStringLiteral("截图"));
    }
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
    kyDescribePicture(ui->label_picture, QStringLiteral("第%1张，共2张：").arg(first ? 1 : 2)
                                             + pictureDescription(currentPicture()));
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

void kyCenterPictureWidget::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() == Qt::NoModifier
        && (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right || event->key() == Qt::Key_Space)) {
        togglePicture();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool kyCenterPictureWidget::event(QEvent *event)
{
    if (event->type() == QEvent::DynamicPropertyChange
        && static_cast<QDynamicPropertyChangeEvent *>(event)->propertyName() == KY_KEYBOARD_FOCUS_PROPERTY)
        ui->frame_keyboardFocus->setVisible(property(KY_KEYBOARD_FOCUS_PROPERTY).toBool());
    return QWidget::event(event);
}

void kyCenterPictureWidget::on_button_left_clicked()
{
    togglePicture();
}

void kyCenterPictureWidget::on_button_right_clicked()
{
    togglePicture();
}
