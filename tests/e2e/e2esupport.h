#pragma once

// What the journeys share: the application object the entry function makes,
// and driving the modal dialogs a click opens.

#include "uitesthelpers.h"

#include "app/kysingleapplication.h"
#include "common/kyconstants.h"

#include <QDialog>
#include <QtTest>

#include <functional>

namespace kytest {

// The entry function's application object, under the program's id.
struct SessionApp : KySingleApplication
{
    SessionApp(int &argc, char **argv)
        : KySingleApplication(APP_ID, argc, argv)
    {
    }
};

// Runs `steps` on the next modal dialog of type T once it is up, then ends
// the dialog if the steps left it open (a failed check inside them returns
// early), so the click that opened it always comes back.
template<typename T>
void driveNextModal(std::function<void(T *)> steps, int timeoutMs = 30000)
{
    answerNextModal<T>([steps](T *dialog) {
        steps(dialog);
        if (dialog->isVisible())
            dialog->reject();
    }, timeoutMs);
}

} // namespace kytest
