#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class kyMsgTipWidget;
}

// The program's one message box: a frameless modal dialog titled "提示" with a
// centred, wrapped message, "确认" and, optionally, "取消". Run it with exec();
// Accepted means the user confirmed. The close button and "取消" reject.
class kyMsgTipWidget : public QDialog
{
    Q_OBJECT

public:
    kyMsgTipWidget(QString message, bool showCancel, QWidget *parent = nullptr);
    ~kyMsgTipWidget() override;

private slots:
    void on_button_close_clicked();
    void on_button_confirm_clicked();
    void on_button_cancel_clicked();

private:
    std::unique_ptr<Ui::kyMsgTipWidget> ui;
    QString m_message;
    bool m_showCancel;
};
