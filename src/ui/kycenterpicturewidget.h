#pragma once

#include "common/kytexts.h"

#include <QString>
#include <QWidget>

#include <memory>

namespace Ui {
class kyCenterPictureWidget;
}


// The picture carousel of a tool card: two screenshots of the current tool,
// switched by arrow buttons that show while the mouse is over the pictures,
// or with the arrow keys while the carousel has the focus.
class kyCenterPictureWidget : public QWidget
{
    Q_OBJECT

public:
    explicit kyCenterPictureWidget(QWidget *parent = nullptr);
    ~kyCenterPictureWidget() override;

    // Shows the first picture of the named tool; a name that is no tool keeps
    // the current pictures but still goes back to the first one.
    void setTool(QString name);

    // Resource path of the picture on show.
    QString currentPicture() const;

protected:
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool event(QEvent *event) override;

private slots:
    void on_button_left_clicked();
    void on_button_right_clicked();

private:
    void showPicture(bool first);
    void togglePicture();

    std::unique_ptr<Ui::kyCenterPictureWidget> ui;
    PicturePair m_pictures;
    bool m_showingFirst = true;
};
