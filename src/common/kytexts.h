#pragma once

// Texts and resource paths shared by several windows: card titles and
// introductions, carousel pictures, tray texts, user messages and a few words
// that different parts of the program must spell the same way.

#include <QString>

// Card introductions, one per tool. Lines are separated by a line feed; the
// trailing line feeds and blanks of three of them are part of the text.
inline const QString INTRODUCTION_KYTOOL = QStringLiteral(
    "Kyoro官方直播工具，傻瓜式操作，让直播更简单。\n"
    "1、电脑游戏、手游、秀场等多场景支持；\n"
    "2、一键开播，不用设置推流码；\n"
    "3、个性主题帮你快速布局直播画面；\n"
    "4、内置手游投屏，扫一扫完成投屏；\n"
    "5、支持录制视频到本地；\n"
    "6、自带弹幕助手、弹幕点歌等多款插件，主播播\n"
    "放歌曲观众可查看歌名歌词。");
inline const QString INTRODUCTION_KYSHOW = QStringLiteral(
    "Kyoro官方直播工具，专为秀场主播定制。\n"
    "1、一键开播，免设置推流地址；\n"
    "2、强大美颜、可爱挂件助你秀出自己；\n"
    "3、酷炫特效助你炫炸全场；\n"
    "4、支持录制视频到本地；\n"
    "5、自带弹幕助手、弹幕点歌等多款插件，主播播\n"
    "放歌曲观众可查看歌名歌词。\n"
    "    ");
inline const QString INTRODUCTION_OBS_CLASSIC = QStringLiteral(
    "免费且开源的用于视频录制以及直播推流的软件。\n"
    "1、电脑游戏、手游、秀场等多场景支持；\n"
    "2、通过填写RTMP流地址进行推流直播；\n"
    "3、有一定上手门槛，小白慎入；\n"
    "4、支持录制视频到本地；\n"
    "5、自带插件数量较少；\n"
    "6、经典版较为稳定，但亦不会再有更新。\n"
    "   ");
inline const QString INTRODUCTION_OBS_STUDIO = QStringLiteral(
    "免费且开源的用于视频录制以及直播推流的软件。\n"
    "1、电脑游戏、手游、秀场等多场景支持；\n"
    "2、通过填写RTMP流地址进行推流直播；\n"
    "3、有一定上手门槛，功能比OBS经典版强大；\n"
    "4、支持录制视频到本地；\n"
    "5、自带插件数量较少；\n"
    "6、仍处于初期阶段，错误修复频繁。\n"
    " ");

// Card titles of the OBS editions; the platform's editions use their tool names.
// The tool table (logic/kytoolfacts.h) gives each tool its title, introduction
// and pictures.
inline const QString CARD_TITLE_OBS_CLASSIC = QStringLiteral("OBS经典版");
inline const QString CARD_TITLE_OBS_STUDIO = QStringLiteral("OBS工作室版");

// The two carousel pictures of a tool card.
struct PicturePair {
    QString first;
    QString second;
};

inline const PicturePair PICTURES_KYTOOL{QStringLiteral(":/Resources/kyoro_classic_1.png"),
                                         QStringLiteral(":/Resources/kyoro_classic_2.png")};
inline const PicturePair PICTURES_KYSHOW{QStringLiteral(":/Resources/kyoro_show_1.png"),
                                         QStringLiteral(":/Resources/kyoro_show_2.png")};
inline const PicturePair PICTURES_OBS_CLASSIC{QStringLiteral(":/Resources/OBS_classic_1.png"),
                                              QStringLiteral(":/Resources/OBS_classic_2.png")};
inline const PicturePair PICTURES_OBS_STUDIO{QStringLiteral(":/Resources/OBS_studio_1.png"),
                                             QStringLiteral(":/Resources/OBS_studio_2.png")};

// Tray icon tool tip (also the main window's title) and its one menu entry.
inline const QString TRAY_TOOL_TIP = QStringLiteral("Kyoro直播管家");
inline const QString TRAY_QUIT = QStringLiteral("退出");
inline const QString TRAY_CHECK_UPDATE = QStringLiteral("检查更新");

// Messages shown with kyMsgTipWidget.
inline const QString MSG_DOWNLOAD_FAILED = QStringLiteral("安装包下载失败，可能是网络不通，请检查网络后重试");
// %1: the download folder, which no file can be written into.
inline const QString MSG_DOWNLOAD_DIR_NOT_WRITABLE = QStringLiteral("下载文件夹\"%1\"无法写入，请检查该文件夹后重试");
inline const QString MSG_INSTALL_FAILED = QStringLiteral("程序安装失败，请重新尝试");
inline const QString MSG_LAUNCH_FAILED = QStringLiteral("暂无法启动直播工具，请尝试手动开启");
inline const QString MSG_OBS_NOT_INSTALLED = QStringLiteral("检测OBS未安装，请安装OBS后重试");
inline const QString MSG_OBS_RUNNING = QStringLiteral("检测到OBS已开启，本次推流设置在重启OBS后生效");
// %1: the tool's name.
inline const QString MSG_TOOL_RUNNING = QStringLiteral("检测到\"%1\"正在运行，请关闭后重试");
// The tool's configuration refused the push address or live code (a line
// break in it, a file that cannot be written); the live address dialog stays.
inline const QString MSG_PUSH_CODE_NOT_WRITTEN = QStringLiteral("推流地址或直播码未能写入OBS配置，请检查后重试");
// %1: the folder as the user typed it.
inline const QString MSG_INSTALL_DIR_MISSING = QStringLiteral("\"%1\"安装目录不存在，请重新设置");

// Words used by several windows and workers.
inline const QString TEXT_VISIT_OBS_SITE = QStringLiteral("访问OBS网站手动安装");
inline const QString TEXT_INSTALL_KYORO = QStringLiteral("安装Kyoro直播伴侣");
inline const QString TEXT_INSTALL_OBS = QStringLiteral("安装OBS");
inline const QString TEXT_INSTALL_DIR_CAPTION = QStringLiteral("安装目录");
inline const QString TEXT_LIVE_PLATFORM = QStringLiteral("Kyoro直播");
// Profile folder OBS Studio uses when none is configured.
inline const QString OBS_STUDIO_DEFAULT_PROFILE = QStringLiteral("未命名");
// Download name of the component version file.
inline const QString DOWNLOAD_NAME_MODULE_VERSION = QStringLiteral("组件更新信息下载");
// Key of the live code component: download name, version key, module list section.
inline const QString LIVE_CODE_MODULE_NAME = QStringLiteral("liveCodeModule");
// OBS Studio's folders below the roaming application data folder.
inline const QString OBS_STUDIO_CONFIG_DIR = QStringLiteral("obs-studio/");
inline const QString OBS_STUDIO_PROFILES_DIR = QStringLiteral("obs-studio/basic/profiles/");

// Style sheets and pictures that code (not a style sheet) loads.
inline const QString QSS_MAIN = QStringLiteral(":/Qss/MainWidgetQss.qss");
inline const QString QSS_KYORO = QStringLiteral(":/Qss/KyoroWidgetQss.qss");
inline const QString QSS_OBS = QStringLiteral(":/Qss/OBSWidgetQss.qss");
inline const QString RES_APP_ICON = QStringLiteral(":/Resources/Install.ico");
inline const QString RES_TRAY_ICON = QStringLiteral(":/Resources/tray_icon.png");
inline const QString RES_TRAY_QUIT = QStringLiteral(":/Resources/tray_quit.png");
inline const QString RES_TITLEBAR_BACK = QStringLiteral(":/Resources/titlebar_back.png");
inline const QString RES_INSTALL_HEADER_BACK = QStringLiteral(":/Resources/label_titleback.png");
