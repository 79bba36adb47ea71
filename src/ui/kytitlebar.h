#pragma once

#include <QMetaType>
#include <QWidget>

#include <memory>

namespace Ui {
class kyTitleBar;
}

// The main window's two pages, as requested by the title bar's page buttons.
enum pageType {
    PAGE_LIVE = 0,
    PAGE_TOOLBOX = 1,
};
Q_DECLARE_METATYPE(pageType)

// The main window's own title bar: logo, product name, minimise and close
// buttons, and the live / toolbox page buttons. Receivers connect to
// slg_Openpage by its signature, "slg_Openpage(pageType)".
class kyTitleBar : public QWidget
{
    Q_OBJECT

public:
    explicit kyTitleBar(QWidget *parent = nullptr);
    ~kyTitleBar() override;

protected:
    bool event(QEvent *event) override;

signals:
    void slg_Openpage(pageType type);

private slots:
    void on_button_min_clicked();
    void on_button_close_clicked();
    void on_button_live_clicked();
    void on_button_toolbox_clicked();

private:
    void initKeyboard();

    std::unique_ptr<Ui::kyTitleBar> ui;
};
