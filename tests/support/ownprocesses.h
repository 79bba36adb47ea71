#pragma once

// The processes of this test run. Every test process carries a marker of its
// own in its environment (set up with the test environment), and so does
// every process it starts, directly or through the program under test and
// the stand-ins. Clean-up and checks that a program runs look only at those:
// other runs on the same machine start programs of the same names.

#include <QList>
#include <QString>
#include <QStringList>

namespace kytest {

// Ids of this run's processes whose program file is named `name` (exactly;
// the file name alone, as the process list gives it). Not the test itself,
// and not a process whose parent runs the same program (a fork that has not
// started its program yet, or a sanitizer's leak-check helper).
QList<qint64> ownProcesses(const QString &name);

// Whether a process of this run with that program name runs.
bool isRunning(const QString &name);

// Ends this run's processes of these program names, forks included, by id,
// and waits up to five seconds until none of them is listed any more.
void endOwnProcesses(const QStringList &names);

} // namespace kytest
