#pragma once

#include "ui/kyinstallwizard.h"

#include <memory>

namespace Ui {
class kyKyoroInstallWidget;
}

// Install wizard of the platform's own tool: the classic edition
// (TOOL_NAME_KYTOOL) in the first row, the show edition (TOOL_NAME_KYSHOW) in
// the second. Every listener signal reaches it queued.
class kyKyoroInstallWidget : public kyInstallWizard
{
    Q_OBJECT

public:
    explicit kyKyoroInstallWidget(QWidget *parent = nullptr);
    ~kyKyoroInstallWidget() override;

private:
    std::unique_ptr<Ui::kyKyoroInstallWidget> ui;
};
