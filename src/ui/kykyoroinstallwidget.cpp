#include "ui/kykyoroinstallwidget.h"
#include "ui_kykyoroinstallwidget.h"

#include "common/kytexts.h"

kyKyoroInstallWidget::kyKyoroInstallWidget(QWidget *parent)
    : kyInstallWizard(ToolFamily::Kyoro, parent)
    , ui(std::make_unique<Ui::kyKyoroInstallWidget>())
{
    ui->setupUi(this);
    initWizard(wizardWidgets(*ui), QSS_KYORO, Qt::QueuedConnection);
}

kyKyoroInstallWidget::~kyKyoroInstallWidget() = default;
