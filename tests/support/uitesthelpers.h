#pragma once

// Finding form widgets by object name, and answering modal dialogs that the
// code under test runs with exec().

#include "kytestenv.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QPointer>
#include <QXmlStreamReader>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

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

// The top widget of every Designer form of src/ui: object name -> class.
inline QMap<QString, QString> formTopWidgets()
{
    QMap<QString, QString> tops;
    QDirIterator it(sourceDir() + QStringLiteral("/src/ui"), {QStringLiteral("*.ui")}, QDir::Files);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QXmlStreamReader xml(&file);
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("widget")) {
                tops.insert(xml.attributes().value(QLatin1String("name")).toString(),
                            xml.attributes().value(QLatin1String("class")).toString());
                break;
            }
            if (xml.name() != QLatin1String("ui"))
                xml.skipCurrentElement();
        }
    }
    return tops;
}

// Clicks the middle of `target` the way a user's click arrives: at that point
// of its shown top-level window, so whichever widget lies on top there gets
// it, and a widget covered by another one does not.
inline void clickInWindow(QWidget *target)
{
    QWidget *window = target->window();
    const QPoint at = target->mapTo(window, target->rect().center());
    QTest::mouseClick(window->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
}

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
