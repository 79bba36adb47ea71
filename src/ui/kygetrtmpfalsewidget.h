#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class kyGetRtmpFalseWidget;
}

// Tells the streamer that the login component could not get the live code.
// exec() ends Accepted for the close button and for "手动获取直播码" (which
// opens the live room page in the browser first), Rejected for "直接开启OBS".
//
// Its window flags carry no window type, so it is a window of its own only
// without a parent; create it parent-less.
class kyGetRtmpFalseWidget : public QDialog
{
    Q_OBJECT

public:
    explicit kyGetRtmpFalseWidget(QWidget *parent = nullptr);
    ~kyGetRtmpFalseWidget() override;

private slots:
    void on_button_close_clicked();
    void on_button_getRtmp_clicked();
    void on_button_reRun_OBS_clicked();

private:
    std::unique_ptr<Ui::kyGetRtmpFalseWidget> ui;
};
