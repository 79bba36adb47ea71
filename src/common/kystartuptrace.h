#pragma once

// A trace of the start-up, to see where the time to the first paint goes.
// With the environment variable KY_STARTUP_TRACE set (to anything but "0"),
// each stage marked is stamped with the milliseconds since the process was
// created and the resident memory at that moment; when the trace ends, a
// moment after the first paint, the stages go to the day's debug log in one
// block (so writing them costs the start-up nothing). Off, a mark costs the
// test of one flag.
//
// Stamps are "process age at the first mark" plus a steady clock from there
// on: the stages are exact relative to each other, the whole trace is placed
// to within the system's accounting of the process start (10 ms on Linux).

// Whether the trace is on (read from the environment once).
bool kyStartupTraceOn();

// Stamps a stage; `stage` must live as long as the process (a literal).
// Safe from any thread; marks after the end are dropped.
void kyStartupMark(const char *stage);

// Ends the trace and writes it to the debug log; later calls do nothing.
void kyStartupTraceEnd();
