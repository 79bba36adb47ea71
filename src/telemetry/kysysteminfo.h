#pragma once

#include <QString>
#include <QStringList>

// The machine as the telemetry describes it. The processor and the adapters
// are probed once and then served from process-wide caches; a probe that
// finds nothing (no model name, no adapter) is tried again at the next call.
// Safe from any thread: the caches are locked, and a call made while another
// thread probes waits for that probe's result.

// "Windows_XP", "Windows_7", "Windows_8", "Windows_8.1", "Windows_10" or
// "Unknown".
void osName(QString &name);

// Processor model name and vendor as the system states them (blanks kept,
// "" when absent), logical processor count and nominal MHz (0 when absent).
// Always true.
bool cpuInfo(QString &model, QString &vendor, int &count, int &mhz);

// Description of every graphics adapter, in enumeration order.
QStringList graphicsAdapters();
