#pragma once

// Drawing functions of the individual pictures; each paints on a transparent
// picture of the size the catalogue in kyartwork.cpp gives it.

#include <QPainter>
#include <QSize>

namespace kyartwork {

enum class State { Normal, Hover, Active }; // Active: checked, selected or pressed

// Window frame and title bar.
void drawTrayQuit(QPainter &p);
void drawTitleBarBack(QPainter &p, QSize size);
void drawWindowButton(QPainter &p, bool close, State state);
void drawPageButton(QPainter &p, bool toolbox, State state);

// Left column and tool cards.
void drawColumnButton(QPainter &p, bool obs, State state);
enum class CardButton { Install, Open, Running };
void drawCardButton(QPainter &p, CardButton kind, bool hover);
void drawLiveSetButton(QPainter &p, bool hover, bool disabled);
void drawLinkButton(QPainter &p, bool tutorial, bool hover);
void drawProgressTrack(QPainter &p, QSize size);
void drawProgressChunk(QPainter &p, QSize size);
void drawRadio(QPainter &p, bool selected);

// Carousel controls.
void drawArrowButton(QPainter &p, bool right, bool pressed);
void drawSwitchPoint(QPainter &p, bool selected);

// Toolbox page tiles.
enum class Tile { InstallObs, Service, InstallKyoro, OpenFolder, GetPushCode, CommonProblem };
void drawToolboxTile(QPainter &p, Tile tile, bool hover);

// Dialogs.
void drawTitleBand(QPainter &p, QSize size);
void drawHeaderBack(QPainter &p, QSize size);
void drawKyoroLogo(QPainter &p, QSize size);
void drawObsLogo(QPainter &p, QSize size);
void drawFailurePicture(QPainter &p, QSize size);
void drawComboArrow(QPainter &p, bool up);

// The setup package's welcome page and page header.
void drawSetupWelcome(QPainter &p, QSize size);
void drawSetupHeader(QPainter &p, QSize size);

// Carousel screenshots: mock-ups of each tool's window, two per tool.
enum class Tool { KyTool, KyShow, ObsClassic, ObsStudio };
void drawToolScreenshot(QPainter &p, QSize size, Tool tool, int index);

// Tutorial steps 1 to 4: mock-ups of the platform's web pages.
void drawTutorialStep(QPainter &p, QSize size, int step);

} // namespace kyartwork
