#pragma once

#include <string>
#include <vector>

// The arguments after the program name, as UTF-8.
std::vector<std::string> programArguments(int argc, char *argv[]);

// Writes the descriptors this process inherited to `path`, one per line.
void recordDescriptors(const char *path);
