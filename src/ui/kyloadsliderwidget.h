#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class kyLoadSliderWidget;
}

// Shows the progress of one download, named at construction, while the
// login component's archive loads. exec() ends Accepted when the download
// finished (downloadedFile() then names the file) and Rejected when it failed
// or the user closed the dialog; the caller cancels the download then.
class kyLoadSliderWidget : public QDialog
{
    Q_OBJECT

public:
    explicit kyLoadSliderWidget(QString name, QWidget *parent = nullptr);
    ~kyLoadSliderWidget() override;

    QString downloadedFile() const;

private slots:
    void on_button_close_clicked();
    void sltUpdateDownloadProgress(QString name, int progress);
    void sltDownloadFinished(QString name, QString downloadedFile);
    void sltDownloadFailed(QString name);

private:
    std::unique_ptr<Ui::kyLoadSliderWidget> ui;
    QString m_name;
    QString m_downloadedFile;
};
