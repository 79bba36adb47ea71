#pragma once

#include <QObject>

class QWidget;
class FramelessOptions;

// Makes frameless top-level widgets movable by dragging their title area and,
// when resizing is on, resizable by dragging their edges, with edge cursors
// and an optional rubber band that shows the new frame until the button is
// released. The helper filters the mouse and hover events of each registered
// widget and consumes them. Border width and title height are shared by every
// helper in the process.
class FramelessHelper : public QObject
{
    Q_OBJECT

public:
    explicit FramelessHelper(QObject *parent = nullptr);
    ~FramelessHelper() override;

    // Registers `widget` (once; a second call changes nothing). The widget
    // keeps its own window flags; mouse tracking and hover events are turned
    // on until it is detached.
    void attachWidget(QWidget *widget);
    // Unregisters `widget` and gives back its flags, tracking and hover state.
    void detachWidget(QWidget *widget);

    void setMovable(bool movable);
    void setResizable(bool resizable);
    void setMoveRubberBand(bool movable);
    void setResizeRubberBand(bool resizable);
    // Process-wide; 0 keeps the previous value.
    void setEdgeWidth(unsigned int width);
    void setCaptionHeight(unsigned int height);

    bool isMovable() const;
    bool isResizable() const;
    bool hasMoveRubberBand() const;
    bool hasResizeRubberBand() const;
    unsigned int edgeWidth() const;
    unsigned int captionHeight() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    FramelessOptions *d;
};
