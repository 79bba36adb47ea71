#include "ui/kyinstallwidget.h"
#include "ui_kyinstallwidget.h"

#include "common/kyhosts.h"
#include "common/kypaths.h"
#include "common/kytexts.h"
#include "ui/kyaccessibility.h"
#include "logic/installpathsettings.h"
#include "logic/kytoolfacts.h"
#include "ui/kymsgtipwidget.h"
#include "ui/kyoromanager.h"
#include "ui/kypictures.h"
#include "ui/kyuilog.h"

#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>

namespace {
// The tool of a mode: its row in the tool table.
const ToolFacts &modeTool(int mode)
{
    return toolTable().at(mode);
}

bool isValidMode(int mode)
{
    return mode >= 0 && mode < toolTable().size();
}

InstallPathSettings *installPathSettings()
{
    kyoroManager *window = mainWindow();
    return window ? window->installPathSettings() : nullptr;
}

QString slashed(QString path)
{
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}
} // namespace

int installFolderMode(const QString &tool)
{
    const QList<ToolFacts> &table = toolTable();
    for (int mode = 0; mode < table.size(); ++mode) {
        if (table.at(mode).name == tool)
            return mode;
    }
    return -1;
}

QString chosenInstallDir(const QString &entered, const QString &stored, const QString &subFolder)
{
    // An empty field names no folder; without this it would become the
    // sub-folder at the file-system root.
    if (entered.isEmpty())
        return QString();
    const QString dir = slashed(entered);
    if (dir == slashed(stored))
        return dir;
    return dir + QLatin1Char('/') + subFolder;
}

bool prepareInstallDir(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QString native = nativePath(path);
    if (QFileInfo(native).isDir())
        return true;
    // Only absolute folders are created; a relative one would land wherever
    // the program happens to run.
    if (!isAbsolutePath(path))
        return false;
    return QDir().mkpath(native);
}

QString pickInstallFolder(QWidget *parent)
{
    return QFileDialog::getExistingDirectory(parent, TEXT_INSTALL_DIR_CAPTION, QStringLiteral("/"),
                                             QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
}

kyInstallWidget::kyInstallWidget(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::kyInstallWidget>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    // The application-wide drag filter moves the dialog by its header.
    setProperty("CanMove", true);
    setProperty("TitleHeight", 142);

    kyMarkDecorative({ui->label_logo});
    kyCloseOnEscape(ui->button_close);
    kyMakeActingLabel(ui->label_OBSurl);
    // Enter in the folder field confirms the folder.
    ui->button_confirmInstall->setDefault(true);
}

kyInstallWidget::~kyInstallWidget() = default;

void kyInstallWidget::setMode(int mode)
{
    if (!isValidMode(mode)) {
        qCWarning(lcKyUi) << "install folder dialog: unknown mode" << mode;
        return;
    }
    const ToolFacts &tool = modeTool(mode);
    const bool isObs = tool.family == ToolFamily::Obs;
    setStyleSheet(readTextFile(isObs ? QSS_OBS : QSS_KYORO));

    const QBrush back = kyStretchedPicture(RES_INSTALL_HEADER_BACK, size(), devicePixelRatioF());
    if (back.style() != Qt::NoBrush) {
        ui->widget->setAutoFillBackground(true);
        QPalette pal = ui->widget->palette();
        pal.setBrush(QPalette::Window, back);
        ui->widget->setPalette(pal);
    }

    if (isObs) {
        ui->label_install->setText(TEXT_INSTALL_OBS);
        ui->label_OBSurl->setText(TEXT_VISIT_OBS_SITE);
        ui->label_OBSurl->show();
    } else {
        ui->label_install->setText(TEXT_INSTALL_KYORO);
        ui->label_OBSurl->hide();
    }
    // The task bar and window switcher show the same heading as the dialog.
    setWindowTitle(ui->label_install->text());
    ui->label_OBSurl->installEventFilter(this);
    m_mode = mode;

    InstallPathSettings *settings = installPathSettings();
    ui->ledit_installPath->setText(settings ? settings->installPath(tool.name) : QString());
}

int kyInstallWidget::mode() const
{
    return m_mode;
}

bool kyInstallWidget::eventFilter(QObject *watched, QEvent *event)
{
    // The press still reaches the label.
    if (watched == ui->label_OBSurl && event->type() == QEvent::MouseButtonPress)
        openUrl(obsProjectSiteUrl());
    return QDialog::eventFilter(watched, event);
}

void kyInstallWidget::on_button_close_clicked()
{
    close();
}

void kyInstallWidget::on_button_chosePath_clicked()
{
    const QString folder = pickInstallFolder(this);
    if (!folder.isEmpty())
        ui->ledit_installPath->setText(folder);
}

void kyInstallWidget::on_button_confirmInstall_clicked()
{
    const ToolFacts &tool = modeTool(m_mode);
    InstallPathSettings *settings = installPathSettings();
    if (!settings) {
        qCWarning(lcKyUi) << "install folder dialog: no install-path settings to store the folder in";
        return;
    }

    const QString entered = ui->ledit_installPath->text();
    const QString dir = chosenInstallDir(entered, settings->installPath(tool.name), tool.folder);
    if (!prepareInstallDir(dir)) {
        kyMsgTipWidget tip(MSG_INSTALL_DIR_MISSING.arg(entered), false);
        tip.exec();
        return;
    }
    settings->setInstallPath(tool.name, dir);
    accept();
}
