#pragma once

// The program's entry function: takes the process arguments and returns the
// exit code (0 or 1 for a second instance, otherwise the event loop's result).
int kyMain(int argc, char *argv[]);
