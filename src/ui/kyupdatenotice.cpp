#include "ui/kyupdatenotice.h"
#include "ui_kyupdatenotice.h"

#include "common/kypaths.h"
#include "common/kytexts.h"
#include "ui/kyaccessibility.h"

kyUpdateNotice::kyUpdateNotice(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::kyUpdateNotice>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    setModal(false);
    // The application-wide drag filter moves it by its title strip.
    setProperty("CanMove", true);
    setProperty("TitleHeight", 36);
    setStyleSheet(readTextFile(QSS_MAIN));

    kyMarkDecorative({ui->liveAddress_titleback});
    kySetAccessibleRole(this, QAccessible::AlertMessage);
    kyAnnounceWhenShown(this);
    kyCloseOnEscape(ui->button_close);
}

kyUpdateNotice::~kyUpdateNotice() = default;

void kyUpdateNotice::setButtons(const QString &confirm, const QString &cancel, bool skip)
{
    ui->button_confirm->setText(confirm);
    ui->button_confirm->setAccessibleName(confirm);
    ui->button_cancel->setText(cancel);
    ui->button_cancel->setAccessibleName(cancel);
    ui->button_skipVersion->setVisible(skip);
    ui->button_confirm->setEnabled(true);
    ui->button_cancel->setEnabled(true);
    ui->button_skipVersion->setEnabled(true);
}

void kyUpdateNotice::showOffer(const QString &version, const QString &notes, bool waiting, bool autoCheck)
{
    m_incomplete = false;
    const QString title = QStringLiteral("发现新版本");
    setWindowTitle(title);
    ui->label_titleName->setText(title);
    ui->label_updateVersion->setText(QStringLiteral("Kyoro直播管家 %1").arg(version));
    ui->label_updateNotes->setText(notes);
    ui->label_updateNotes->setVisible(!notes.isEmpty());
    ui->label_updateState->setText(waiting ? QStringLiteral("直播工具正在运行，更新将等到工具关闭后进行；也可以现在更新。")
                                           : QString());
    // An empty label would read as a picture without a description.
    ui->label_updateState->setVisible(waiting);
    ui->checkBox_autoCheck->show();
    {
        const QSignalBlocker quiet(ui->checkBox_autoCheck);
        ui->checkBox_autoCheck->setChecked(autoCheck);
    }
    setButtons(QStringLiteral("立即更新"), QStringLiteral("稍后"), true);
    ui->button_cancel->setAccessibleName(QStringLiteral("稍后更新"));
    setAccessibleDescription(ui->label_updateVersion->text() + QLatin1Char('\n') + notes + QLatin1Char('\n')
                             + ui->label_updateState->text());
    ui->button_confirm->setFocus();
}

void kyUpdateNotice::showIncomplete(const QString &version)
{
    m_incomplete = true;
    const QString title = QStringLiteral("更新未完成");
    setWindowTitle(title);
    ui->label_titleName->setText(title);
    ui->label_updateVersion->setText(QStringLiteral("更新到 Kyoro直播管家 %1 未完成。").arg(version));
    ui->label_updateNotes->setText(QStringLiteral("可以重试，或从官网下载安装程序手动安装。"));
    ui->label_updateNotes->show();
    ui->label_updateState->clear();
    ui->label_updateState->hide();
    ui->checkBox_autoCheck->hide();
    setButtons(QStringLiteral("重试"), QStringLiteral("手动下载"), false);
    setAccessibleDescription(ui->label_updateVersion->text() + QLatin1Char('\n') + ui->label_updateNotes->text());
    ui->button_confirm->setFocus();
}

void kyUpdateNotice::showProgress(int percent)
{
    ui->label_updateState->setText(QStringLiteral("正在下载更新：%1%").arg(qBound(0, percent, 100)));
    ui->label_updateState->show();
    ui->button_confirm->setEnabled(false);
    ui->button_cancel->setEnabled(false);
    ui->button_skipVersion->setEnabled(false);
}

void kyUpdateNotice::on_button_close_clicked()
{
    emit sglDismissed();
    close();
}

void kyUpdateNotice::on_button_confirm_clicked()
{
    if (m_incomplete) {
        emit sglRetry();
        close();
        return;
    }
    // Stays open and shows the download; the program quits once the setup runs.
    emit sglInstallNow();
}

void kyUpdateNotice::on_button_cancel_clicked()
{
    if (m_incomplete)
        emit sglManualDownload();
    else
        emit sglLater();
    close();
}

void kyUpdateNotice::on_button_skipVersion_clicked()
{
    emit sglSkip();
    close();
}

void kyUpdateNotice::on_checkBox_autoCheck_toggled(bool checked)
{
    emit sglAutoCheckChanged(checked);
}
