#include "livecodewindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdio>

namespace {
constexpr int kCallTimeoutMs = 10000;

QByteArray utf8(const QString &text)
{
    return text.toUtf8();
}
} // namespace

LiveCodeWindow::LiveCodeWindow(RpcClient client)
    : m_client(client)
    , m_account(new QLineEdit(this))
    , m_password(new QLineEdit(this))
    , m_signIn(new QPushButton(QStringLiteral("登录"), this))
    , m_roomFailure(new QPushButton(QStringLiteral("模拟开播失败"), this))
    , m_status(new QLabel(this))
{
    setWindowTitle(QStringLiteral("Kyoro 登录（沙盒）"));
    m_account->setObjectName(QStringLiteral("lineEdit_account"));
    m_password->setObjectName(QStringLiteral("lineEdit_password"));
    m_password->setEchoMode(QLineEdit::Password);
    m_signIn->setObjectName(QStringLiteral("pushButton_signIn"));
    m_roomFailure->setObjectName(QStringLiteral("pushButton_roomFailure"));
    m_status->setObjectName(QStringLiteral("label_status"));
    m_status->setText(QStringLiteral("请登录 Kyoro 账号"));

    auto form = new QFormLayout;
    form->addRow(QStringLiteral("账号"), m_account);
    form->addRow(QStringLiteral("密码"), m_password);
    auto layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_signIn);
    layout->addWidget(m_roomFailure);
    layout->addWidget(m_status);

    connect(m_signIn, &QPushButton::clicked, this, &LiveCodeWindow::signIn);
    connect(m_roomFailure, &QPushButton::clicked, this, &LiveCodeWindow::reportRoomFailure);
}

LiveCodeWindow::~LiveCodeWindow() = default;

QString LiveCodeWindow::sandboxRtmpUrl()
{
    const QUrl platform(qEnvironmentVariable("KYORO_PLATFORM_URL"));
    const QString host = platform.host().isEmpty() ? QStringLiteral("127.0.0.1") : platform.host();
    return QStringLiteral("rtmp://") + host + QStringLiteral("/live");
}

void LiveCodeWindow::signIn()
{
    const QString account = m_account->text().trimmed();
    if (account.isEmpty()) {
        m_status->setText(QStringLiteral("请输入账号"));
        return;
    }
    if (reportBroadcast(sandboxRtmpUrl(), QStringLiteral("live_") + account))
        m_status->setText(QStringLiteral("推流码已发送给直播管家"));
}

void LiveCodeWindow::reportRoomFailure()
{
    reportRoomResult(-1, QStringLiteral("直播间开通失败"));
}

bool LiveCodeWindow::reportBroadcast(const QString &url, const QString &code)
{
    IRpcArgument *info = RpcArgBegin();
    RpcArgAppend(info, RpcArgFrom(utf8(url).constData()));
    RpcArgAppend(info, RpcArgFrom(utf8(code).constData()));
    RpcArgEnd(info);
    const bool ok = RpcCall(m_client, "broadcast_info", info, kCallTimeoutMs);
    RpcArgFree(info);
    if (!ok)
        fail(QStringLiteral("broadcast_info"));
    return ok;
}

bool LiveCodeWindow::reportRoomResult(int res, const QString &msg)
{
    IRpcArgument *result = RpcArgBegin();
    RpcArgAppend(result, RpcArgFromInt(res));
    RpcArgAppend(result, RpcArgFrom(utf8(msg).constData()));
    RpcArgEnd(result);
    const bool ok = RpcCall(m_client, "open_room_msg", result, kCallTimeoutMs);
    RpcArgFree(result);
    if (!ok)
        fail(QStringLiteral("open_room_msg"));
    return ok;
}

void LiveCodeWindow::reportClose()
{
    if (m_closeReported)
        return;
    m_closeReported = true;
    if (!RpcCall(m_client, "liveCodeModuleClose", nullptr, kCallTimeoutMs))
        fail(QStringLiteral("liveCodeModuleClose"));
}

void LiveCodeWindow::closeEvent(QCloseEvent *event)
{
    reportClose();
    event->accept();
}

void LiveCodeWindow::fail(const QString &what)
{
    std::fprintf(stderr, "LiveCodeModule: the call %s failed\n", qPrintable(what));
    m_status->setText(QStringLiteral("无法连接直播管家"));
    if (m_scripted)
        QApplication::exit(4);
}

bool LiveCodeWindow::runScript(const QString &script)
{
    const QStringList steps = script.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    static const QStringList known = {QStringLiteral("broadcast"), QStringLiteral("room_fail"), QStringLiteral("wait"),
                                      QStringLiteral("close"), QStringLiteral("exit"), QStringLiteral("stay")};
    for (const QString &step : steps) {
        if (!known.contains(step.section(QLatin1Char(':'), 0, 0).trimmed())) {
            std::fprintf(stderr, "LiveCodeModule: unknown script step \"%s\"\n", qPrintable(step));
            return false;
        }
    }
    m_scripted = true;
    m_steps = steps;
    QTimer::singleShot(0, this, &LiveCodeWindow::nextStep);
    return true;
}

void LiveCodeWindow::nextStep()
{
    if (m_steps.isEmpty()) {
        QApplication::exit(0);
        return;
    }
    const QString step = m_steps.takeFirst();
    const QString verb = step.section(QLatin1Char(':'), 0, 0).trimmed();
    const QString rest = step.section(QLatin1Char(':'), 1);
    int delayMs = 0;

    if (verb == QLatin1String("broadcast")) {
        QString url = sandboxRtmpUrl();
        QString code = QStringLiteral("live_sandbox");
        if (step.contains(QLatin1Char(':'))) {
            const int comma = rest.lastIndexOf(QLatin1Char(','));
            url = comma < 0 ? rest : rest.left(comma);
            code = comma < 0 ? QString() : rest.mid(comma + 1);
        }
        if (!reportBroadcast(url, code))
            return;
    } else if (verb == QLatin1String("room_fail")) {
        const int comma = rest.indexOf(QLatin1Char(','));
        const int res = (comma < 0 ? rest : rest.left(comma)).trimmed().toInt();
        if (!reportRoomResult(res, comma < 0 ? QString() : rest.mid(comma + 1)))
            return;
    } else if (verb == QLatin1String("wait")) {
        delayMs = qMax(0, rest.trimmed().toInt());
    } else if (verb == QLatin1String("close")) {
        reportClose();
        QApplication::exit(m_closeReported ? 0 : 4);
        return;
    } else if (verb == QLatin1String("exit")) {
        QApplication::exit(0);
        return;
    } else if (verb == QLatin1String("stay")) {
        m_steps.clear();
        return;
    }
    QTimer::singleShot(delayMs, this, &LiveCodeWindow::nextStep);
}
