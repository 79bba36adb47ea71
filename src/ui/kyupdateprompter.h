#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class KyUpdater;
class UILogicListener;
class kyUpdateNotice;
class kyoroManager;

// Between the updater and the streamer: shows its one notice (never two,
// never over another dialog: it waits until that one closes), tells the
// outcome of a manual check, feeds it the tools' status from the listener,
// and quits the program when the setup runs. Created by the main window once
// it has been painted, so nothing of it is on the way to the first paint.
class kyUpdatePrompter : public QObject
{
    Q_OBJECT

public:
    kyUpdatePrompter(kyoroManager *window, UILogicListener *listener);
    ~kyUpdatePrompter() override;

    KyUpdater *updater() const { return m_updater; }
    // The notice on the screen, null when none is.
    kyUpdateNotice *notice() const;

    // Schedules the checks; says once whether the last update did not complete.
    void start();
    // The tray's "检查更新".
    void checkNow();
    // The tray's "退出": false when the program may quit now (a "稍后"
    // update was handed to the setup on the way); true when an update is
    // offered first and the program quits once the streamer has answered.
    bool quitRequested();

private:
    void offer(bool manual, bool waiting);
    void incomplete(const QString &version);
    kyUpdateNotice *openNotice();
    void showWhenFree();
    void tell(const QString &message);
    void answered();

    kyoroManager *m_window = nullptr;
    KyUpdater *m_updater = nullptr;
    QPointer<kyUpdateNotice> m_notice;
    // What to show once no other dialog is up.
    QString m_pendingIncomplete;
    bool m_pendingOffer = false;
    bool m_pendingWaiting = false;
    bool m_quitAfterAnswer = false;
};
