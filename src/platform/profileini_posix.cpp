#include "platform/profileini.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kyplatform {

namespace {

enum class ReadResult { Ok, Missing, Failed };

ReadResult readWholeFile(const std::string &path, std::string &text)
{
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    char buffer[8192];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            ::close(fd);
            return ReadResult::Failed;
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return ReadResult::Ok;
}

bool writeAll(int fd, const std::string &data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t put = ::write(fd, data.data() + done, data.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

std::string folderOf(const std::string &path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The process's file creation mask, read without changing it (umask() can
// only be read by setting it, which would race with other threads).
mode_t currentUmask()
{
    std::FILE *status = std::fopen("/proc/self/status", "re");
    mode_t mask = 022;
    if (!status)
        return mask;
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
        unsigned value = 0;
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
            mask = static_cast<mode_t>(value);
            break;
        }
    }
    std::fclose(status);
    return mask;
}

// Writes `text` to a new file beside `path` and renames it over `path`.
bool replaceFile(const std::string &path, const std::string &text, mode_t mode)
{
    const std::size_t slash = path.find_last_of('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folderOf(path) + "/." + base + ".XXXXXX";
    const int fd = ::mkstemp(&temp[0]);
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, text) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(temp.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temp.c_str());
    return false;
}

} // namespace

std::string readProfileString(const std::string &path, const std::string &section, const std::string &key,
                              const std::string &defaultValue, std::size_t bufferSize)
{
    std::string text;
    std::string value;
    if (readWholeFile(path, text) == ReadResult::Ok && findIniValue(text, section, key, value))
        return profileReaderValue(value, bufferSize);
    std::string fallback = defaultValue;
    while (!fallback.empty() && (fallback.back() == ' ' || fallback.back() == '\t'))
        fallback.pop_back();
    return profileReaderValue(fallback, bufferSize);
}

bool writeProfileString(const std::string &path, const std::string &section, const std::string &key,
                        const std::string &value)
{
    if (path.empty() || !isStorableIniEntry(section, key, value))
        return false;
    struct stat folder {};
    if (::stat(folderOf(path).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode))
        return false;

    std::string text;
    const ReadResult read = readWholeFile(path, text);
    if (read == ReadResult::Failed)
        return false;  // never replace a file we could not read

    mode_t mode = 0666 & ~currentUmask();
    struct stat existing {};
    if (read == ReadResult::Ok && ::stat(path.c_str(), &existing) == 0)
        mode = existing.st_mode & 07777;

    const std::string updated = setIniValue(text, section, key, value);
    if (read == ReadResult::Ok && updated == text)
        return true;
    return replaceFile(path, updated, mode);
}

} // namespace kyplatform
