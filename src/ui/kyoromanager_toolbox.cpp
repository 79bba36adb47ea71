// The help buttons of the cards and the shortcuts of the toolbox page.
#include "ui/kyoromanager.h"
#include "ui_kyoromanager.h"

#include "common/kyconstants.h"
#include "common/kytexts.h"
#include "common/kyhosts.h"
#include "common/kypaths.h"
#include "logic/kytoolfacts.h"
#include "telemetry/kyoropointing.h"
#include "ui/kychooserecordpath.h"
#include "ui/kygetcodetutorialwidget.h"
#include "ui/kykyoroinstallwidget.h"
#include "ui/kyobsinstallwidget.h"

#include <QEvent>

void kyoroManager::on_button_Service_little_clicked()
{
    reportEvent(POINTING_CLICK_CUST);
    openUrl(customerServiceUrl());
}

void kyoroManager::on_button_Service_little_2_clicked()
{
    reportEvent(POINTING_CLICK_CUST);
    openUrl(customerServiceUrl());
}

void kyoroManager::on_button_Service_clicked()
{
    reportEvent(POINTING_CLICK_CUST);
    openUrl(customerServiceUrl());
}

void kyoroManager::on_button_useTutorial_clicked()
{
    reportEvent(POINTING_CLICK_INTRODUCE);
    if (m_currentTool == TOOL_NAME_KYTOOL)
        openUrl(webSiteUrl(QStringLiteral("/cms/zhibo/list_16.shtml")));
    else if (m_currentTool == TOOL_NAME_KYSHOW)
        openUrl(webSiteUrl(QStringLiteral("/cms/zhibo/201708/07/5983.shtml")));
}

void kyoroManager::on_button_useTutorial_2_clicked()
{
    reportEvent(POINTING_CLICK_INTRODUCE);
    openUrl(webSiteUrl(QStringLiteral("/cms/zhibo/201311/13/250.shtml")));
}

void kyoroManager::on_button_commonProblem_clicked()
{
    openUrl(webSiteUrl(QStringLiteral("/cms/zhibo/list_16.shtml")));
}

void kyoroManager::on_button_openFolder_clicked()
{
    kyChooseRecordPath dialog(this);
    dialog.exec();
}

void kyoroManager::on_button_getPushcode_clicked()
{
    kyGetCodeTutorialWidget tutorial(this);
    tutorial.exec();
}

void kyoroManager::on_button_installOBS_clicked()
{
    kyOBSInstallWidget wizard(this);
    wizard.exec();
}

void kyoroManager::on_button_installKyoroLive_clicked()
{
    kyKyoroInstallWidget wizard(this);
    wizard.exec();
}

bool kyoroManager::eventFilter(QObject *watched, QEvent *event)
{
    // Only installed on the toolbox page's widgets until it is first shown.
    if (event->type() == QEvent::PolishRequest && m_holdToolboxPolish)
        return true;
    // The OBS link opens the project's site; the label still gets the press.
    if (watched == ui->label_visitOBSurl && event->type() == QEvent::MouseButtonPress)
        openUrl(obsProjectSiteUrl());
    return QWidget::eventFilter(watched, event);
}
