#pragma once

// Finding form widgets by object name, and answering modal dialogs that the
// code under test runs with exec().

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

// The descendant of `parent` with that object name; a missing one ends the
// test run, since every later step would only fail less clearly.
template<typename T>
T *child(QWidget *parent, const char *name)
{
    auto *found = parent->findChild<T *>(QLatin1String(name));
    if (!found)
        qFatal("no child widget %s", name);
    return found;
}

namespace kytest {

// Waits (inside whatever event loop runs next) for a modal dialog of type T
// and hands it to `answer`, which must end it. Gives up after `timeoutMs`.
template<typename T>
void answerNextModal(std::function<void(T *)> answer, int timeoutMs = 10000)
{
    auto *poll = new QTimer;
    auto waited = std::make_shared<int>(0);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [poll, waited, answer, timeoutMs] {
        *waited += poll->interval();
        if (auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(dialog);
        } else if (*waited > timeoutMs) {
            poll->stop();
            poll->deleteLater();
        }
    });
    poll->start();
}

} // namespace kytest
