#include "ui/kyobsinstallwidget.h"
#include "ui_kyobsinstallwidget.h"

#include "common/kytexts.h"

#include <algorithm>
#include <iterator>

kyOBSInstallWidget::kyOBSInstallWidget(QWidget *parent)
    : kyInstallWizard(ToolFamily::Obs, parent)
    , ui(std::make_unique<Ui::kyOBSInstallWidget>())
{
    ui->setupUi(this);
    WizardWidgets widgets = wizardWidgets(*ui);
    // Every page's header carries the link under its title.
    QLabel *links[] = {ui->label_OBSurl, ui->label_OBSurl_2, ui->label_OBSurl_3, ui->label_OBSurl_4, ui->label_OBSurl_5};
    std::copy(std::begin(links), std::end(links), std::begin(widgets.obsLinks));
    initWizard(widgets, QSS_OBS, Qt::AutoConnection);
}

kyOBSInstallWidget::~kyOBSInstallWidget() = default;
