#include "bugreporter.h"

#include <cstdlib>
#include <dirent.h>
#include <fstream>

std::vector<std::string> programArguments(int argc, char *argv[])
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

void recordDescriptors(const char *path)
{
    // Listed before the output file is opened, which would show up too.
    std::string list;
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return;
    const int own = dirfd(dir);
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own)
            continue;
        list += entry->d_name;
        list += '\n';
    }
    closedir(dir);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << list;
}
