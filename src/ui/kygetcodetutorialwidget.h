#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class kyGetCodeTutorialWidget;
}

// Four illustrated steps for getting the push address and live code from the
// platform's web site by hand; "一键跳转" opens the live room page there.
class kyGetCodeTutorialWidget : public QDialog
{
    Q_OBJECT

public:
    explicit kyGetCodeTutorialWidget(QWidget *parent = nullptr);
    ~kyGetCodeTutorialWidget() override;

private slots:
    void on_button_close_clicked();
    void on_button_jump_clicked();

private:
    std::unique_ptr<Ui::kyGetCodeTutorialWidget> ui;
};
