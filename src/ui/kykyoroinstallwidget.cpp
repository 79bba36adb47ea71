#include "ui/kykyoroinstallwidget.h"
#include "ui_kykyoroinstallwidget.h"

#include "common/kyconstants.h"
#include "common/kytexts.h"

namespace {
const WizardEdition kKyoroEditions[] = {
    {TOOL_NAME_KYTOOL, "KYTool", "KYTool_setup_2_3_6.exe"},
    {TOOL_NAME_KYSHOW, "KYShowTool", "KYShow_setup_2_3_4.exe"},
};
} // namespace

kyKyoroInstallWidget::kyKyoroInstallWidget(QWidget *parent)
    : kyInstallWizard(kKyoroEditions, parent)
    , ui(std::make_unique<Ui::kyKyoroInstallWidget>())
{
    ui->setupUi(this);
    initWizard(wizardWidgets(*ui), QSS_KYORO, Qt::QueuedConnection);
}

kyKyoroInstallWidget::~kyKyoroInstallWidget() = default;
