#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class kyUpdateNotice;
}

// The small notice of a new VURuv: version, notes, "立即更新", "稍后",
// "跳过此版本" and the automatic-check switch. Non-modal, in the program's
// dialog style; Esc closes it as its close button does. It shows and
// passes on; the updater decides. The same notice says that an update did
// not complete, with "重试" and "手动下载".
class kyUpdateNotice : public QDialog
{
    Q_OBJECT

public:
    explicit kyUpdateNotice(QWidget *parent = nullptr);
    ~kyUpdateNotice() override;

    // An update of `version`. `waiting`: live tools run, so it waits for
    // them unless the streamer goes ahead.
    void showOffer(const QString &version, const QString &notes, bool waiting, bool autoCheck);
    // The update to `version` that the last run started did not complete.
    void showIncomplete(const QString &version);
    // The setup is being downloaded after "立即更新": the buttons rest.
    void showProgress(int percent);

signals:
    void sglInstallNow();
    void sglLater();
    void sglSkip();
    void sglRetry();
    void sglManualDownload();
    void sglAutoCheckChanged(bool on);
    // Closed without an answer (the close button or Esc).
    void sglDismissed();

private slots:
    void on_button_close_clicked();
    void on_button_confirm_clicked();
    void on_button_cancel_clicked();
    void on_button_skipVersion_clicked();
    void on_checkBox_autoCheck_toggled(bool checked);

private:
    void setButtons(const QString &confirm, const QString &cancel, bool skip);

    std::unique_ptr<Ui::kyUpdateNotice> ui;
    bool m_incomplete = false;
};
