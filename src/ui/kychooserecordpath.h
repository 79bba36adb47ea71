#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class kyChooseRecordPath;
}
class QLineEdit;

// The toolbox's record-folder dialog: one row per streaming tool with the
// folder its recordings go to and a button that opens it in the file browser.
// A tool that is not installed, or whose folder is unknown, has an empty row
// and a disabled button.
class kyChooseRecordPath : public QDialog
{
    Q_OBJECT

public:
    explicit kyChooseRecordPath(QWidget *parent = nullptr);
    ~kyChooseRecordPath() override;

private slots:
    void on_button_close_clicked();
    void on_button_openFolder_1_clicked();
    void on_button_openFolder_2_clicked();
    void on_button_openFolder_3_clicked();
    void on_button_openFolder_4_clicked();

private:
    void initKeyboard();
    void fillRows();
    void openFolder(const QLineEdit *row);

    std::unique_ptr<Ui::kyChooseRecordPath> ui;
};
