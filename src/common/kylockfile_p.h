#pragma once

#include <QString>

// This machine's name as QLockFile writes it into the locks it takes: a lock
// naming another machine is one whose owner cannot be shown to be alive.
QString lockFileHostName();
