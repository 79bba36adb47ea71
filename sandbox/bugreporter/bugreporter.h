#pragma once

#include <string>
#include <vector>

// Writes the descriptors this process inherited to `path`, one per line.
void recordDescriptors(const char *path);
