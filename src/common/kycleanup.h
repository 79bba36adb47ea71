#pragma once

// Process-wide single objects that own timers, network managers, local servers
// or threads must not outlive the application object: destroyed during static
// destruction they warn or crash at every exit. Each registers its teardown
// here when it is created; the entry function (and every test main) calls
// runProcessCleanups() while the application object still exists, newest
// object first.
void registerProcessCleanup(void (*cleanup)());
void runProcessCleanups();
