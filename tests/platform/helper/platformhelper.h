#pragma once

#include <string>

// What only the system can tell the helper about itself.
std::string ownProgramPath();
// The command line as the program received it; "" where programs get their
// arguments as separate words.
std::string rawCommandLine();
