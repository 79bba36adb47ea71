#pragma once

#include "ui/kyinstallwizard.h"

#include <memory>

namespace Ui {
class kyOBSInstallWidget;
}

// Install wizard of OBS: OBS Classic in the first row, OBS Studio in the
// second, and a link to the OBS project's site under the title. The
// listener's download and install signals reach it directly (inside the
// emitting call), the uninstall signal queued.
class kyOBSInstallWidget : public kyInstallWizard
{
    Q_OBJECT

public:
    explicit kyOBSInstallWidget(QWidget *parent = nullptr);
    ~kyOBSInstallWidget() override;

private:
    std::unique_ptr<Ui::kyOBSInstallWidget> ui;
};
