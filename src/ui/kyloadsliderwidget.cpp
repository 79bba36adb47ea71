#include "ui/kyloadsliderwidget.h"
#include "ui_kyloadsliderwidget.h"

#include "common/kypaths.h"
#include "common/kytexts.h"
#include "logic/uilogiclistener.h"
#include "ui/kyaccessibility.h"
#include "ui/kyoromanager.h"

kyLoadSliderWidget::kyLoadSliderWidget(QString name, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::kyLoadSliderWidget>())
    , m_name(std::move(name))
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    // The application-wide drag filter moves the dialog by its title band.
    setProperty("CanMove", true);
    setProperty("TitleHeight", 36);
    ui->progressBar->setValue(0);
    setStyleSheet(readTextFile(QSS_MAIN));
    kyMarkDecorative({ui->liveAddress_titleback});
    // Esc closes it as its close button does, which cancels the download.
    kyCloseOnEscape(ui->button_close);

    // The listener hands every download's events to every window; the slots
    // keep to this dialog's download.
    if (UILogicListener *listener = mainWindow() ? mainWindow()->logicListener() : nullptr) {
        connect(listener, &UILogicListener::sglUpdateDownloadProgress, this, &kyLoadSliderWidget::sltUpdateDownloadProgress);
        connect(listener, &UILogicListener::sglDownloadFinished, this, &kyLoadSliderWidget::sltDownloadFinished);
        connect(listener, &UILogicListener::sglDownloadFailed, this, &kyLoadSliderWidget::sltDownloadFailed);
    }
}

kyLoadSliderWidget::~kyLoadSliderWidget() = default;

QString kyLoadSliderWidget::downloadedFile() const
{
    return m_downloadedFile;
}

void kyLoadSliderWidget::on_button_close_clicked()
{
    close();
}

void kyLoadSliderWidget::sltUpdateDownloadProgress(QString name, int progress)
{
    if (name != m_name)
        return;
    ui->progressBar->setValue(progress);
}

void kyLoadSliderWidget::sltDownloadFinished(QString name, QString downloadedFile)
{
    if (name != m_name)
        return;
    m_downloadedFile = downloadedFile;
    accept();
}

void kyLoadSliderWidget::sltDownloadFailed(QString name)
{
    if (name != m_name)
        return;
    reject();
}
