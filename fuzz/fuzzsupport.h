#pragma once

// Shared by the fuzz targets that work on files.

#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace kyfuzz {

// In memory where there is a tmpfs: the writers sync what they save, which
// on a disk costs more than everything else an input does.
std::unique_ptr<QTemporaryDir> fuzzTempDir()
{
    if (QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
        auto dir = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/kyfuzz-XXXXXX"));
        if (dir->isValid())
            return dir;
    }
    return std::make_unique<QTemporaryDir>();
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace kyfuzz
