#pragma once

// Installs the crash handler of the platform layer with this program's dump
// folder and name, version, reporter values and messages. Called at start-up
// before the application object exists.
void installCrashReporting();

// A crashed instance of this program starts the program again to show its
// message. Called first thing in the entry function: when this process is
// such a message process, shows the message, sets `exitCode` and returns
// true; otherwise returns false and changes nothing.
bool runCrashMessage(int &argc, char **argv, int &exitCode);
