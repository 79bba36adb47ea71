#include "ui/kychooserecordpath.h"
#include "ui_kychooserecordpath.h"

#include "common/kyconstants.h"
#include "common/kypaths.h"
#include "common/kyprocesses.h"
#include "common/kytexts.h"
#include "logic/kylivetoolconfig.h"
#include "logic/kylivetoolsmanager.h"
#include "logic/kylogicfw.h"
#include "ui/kyaccessibility.h"
#include "logic/kytoolfacts.h"
#include "ui/kyuilog.h"

#include <QKeySequence>

namespace {
bool isToolInstalled(const QString &tool)
{
    // The hub creates the tools manager in initialize(); before that no tool
    // is known to be installed.
    KyLiveToolsManager *tools = KyLogicFW::instance()->liveToolsManager();
    return tools && tools->isToolInstalled(tool);
}

// Where the named tool writes its recordings, as its own settings say.
QString recordFolder(const QString &tool)
{
    if (tool == TOOL_NAME_KYTOOL)
        return kyToolRecordPath();
    if (tool == TOOL_NAME_KYSHOW)
        return kyShowRecordPath();
    if (tool == TOOL_NAME_OBS_CLASSIC)
        return obsClassicRecordPath();
    if (tool == TOOL_NAME_OBS_STUDIO)
        return obsStudioRecordPath();
    return QString();
}
} // namespace

kyChooseRecordPath::kyChooseRecordPath(QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::kyChooseRecordPath>())
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    // The application-wide drag filter moves the dialog by its title strip.
    setProperty("CanMove", true);
    setProperty("TitleHeight", 36);
    setStyleSheet(readTextFile(QSS_MAIN));

    // Read, not typed into.
    for (QLineEdit *edit : {ui->lineEdit, ui->lineEdit_2, ui->lineEdit_3, ui->lineEdit_4}) {
        edit->setFocusPolicy(Qt::NoFocus);
        edit->setReadOnly(true);
    }

    fillRows();
    initKeyboard();
}

void kyChooseRecordPath::initKeyboard()
{
    kyMarkDecorative({ui->choose_titleback, ui->label_logo});
    kyCloseOnEscape(ui->button_close);
    // The folder buttons take no focus: each has a key of its own, Alt and
    // its row's number, shown in its tool tip.
    QPushButton *const buttons[] = {ui->button_openFolder_1, ui->button_openFolder_2, ui->button_openFolder_3,
                                    ui->button_openFolder_4};
    for (int row = 0; row < 4; ++row) {
        QPushButton *button = buttons[row];
        const QKeySequence keys(Qt::ALT | (Qt::Key_1 + row));
        button->setShortcut(keys);
        button->setToolTip(QStringLiteral("%1（%2）").arg(button->text(), keys.toString(QKeySequence::NativeText)));
    }
    setAccessibleDescription(QStringLiteral("按Alt+1至Alt+4打开对应的录制文件夹，按Esc关闭"));
    kyAnnounceWhenShown(this);
}

kyChooseRecordPath::~kyChooseRecordPath() = default;

void kyChooseRecordPath::fillRows()
{
    const struct
    {
        const QString &tool;
        QLineEdit *edit;
        QPushButton *button;
    } rows[] = {
        {TOOL_NAME_KYTOOL, ui->lineEdit, ui->button_openFolder_1},
        {TOOL_NAME_KYSHOW, ui->lineEdit_2, ui->button_openFolder_2},
        {TOOL_NAME_OBS_CLASSIC, ui->lineEdit_3, ui->button_openFolder_3},
        {TOOL_NAME_OBS_STUDIO, ui->lineEdit_4, ui->button_openFolder_4},
    };
    for (const auto &row : rows) {
        const QString folder = isToolInstalled(row.tool) ? recordFolder(row.tool) : QString();
        if (folder.isEmpty())
            row.button->setEnabled(false);
        row.edit->setText(folder);
    }
}

void kyChooseRecordPath::openFolder(const QLineEdit *row)
{
    const QString folder = row->text();
    if (folder.isEmpty())
        return;
    // The folder goes to the browser as one argument, blanks and all. A
    // missing folder is the browser's to report.
    if (!openFolderInFileBrowser(folder))
        qCWarning(lcKyUi) << "cannot start the file browser for" << folder;
}

void kyChooseRecordPath::on_button_close_clicked()
{
    close();
}

void kyChooseRecordPath::on_button_openFolder_1_clicked()
{
    openFolder(ui->lineEdit);
}

void kyChooseRecordPath::on_button_openFolder_2_clicked()
{
    openFolder(ui->lineEdit_2);
}

void kyChooseRecordPath::on_button_openFolder_3_clicked()
{
    openFolder(ui->lineEdit_3);
}

void kyChooseRecordPath::on_button_openFolder_4_clicked()
{
    openFolder(ui->lineEdit_4);
}
