#include "platform/privatefiles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kyplatform {

namespace {

std::string systemError(int error)
{
    return std::strerror(error);
}

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// A descriptor closed on every path.
class Fd
{
public:
    explicit Fd(int fd)
        : m_fd(fd)
    {
    }
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

bool writeAll(int fd, const std::string &bytes)
{
    const char *data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= std::size_t(written);
    }
    return true;
}

} // namespace

bool makePrivateDir(const std::string &path, std::string &problem)
{
    if (path.empty()) {
        problem = "no path given";
        return false;
    }
    const std::string dir = withoutTrailingSlashes(path);
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
        problem = "cannot be created: " + systemError(errno);
        return false;
    }
    // Opened without following a link, so the checks below and the change of
    // mode apply to the folder itself, whatever is swapped in meanwhile.
    Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) {
        const int error = errno;
        struct stat info {};
        if (::lstat(dir.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
            problem = "is a symbolic link";
        else if (error == ENOTDIR)
            problem = "is not a folder";
        else
            problem = "cannot be opened: " + systemError(error);
        return false;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        problem = "is not a folder";
        return false;
    }
    if (info.st_uid != ::geteuid()) {
        problem = "belongs to user id " + std::to_string(info.st_uid);
        return false;
    }
    if ((info.st_mode & 07777) != 0700 && ::fchmod(fd.get(), 0700) != 0) {
        problem = "cannot be made private: " + systemError(errno);
        return false;
    }
    return true;
}

bool appendToPrivateFile(const std::string &path, const std::string &bytes)
{
    // Two tries: the second one after a foreign entry at the name was removed.
    for (int attempt = 0; attempt < 2; ++attempt) {
        // O_NONBLOCK: a FIFO at the name must not hang the caller.
        Fd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
        if (fd.get() < 0) {
            struct stat info {};
            if (::lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode))
                return false;
            // A link, or a FIFO without a reader: only the name goes.
            ::unlink(path.c_str());
            continue;
        }
        struct stat info {};
        if (::fstat(fd.get(), &info) != 0)
            return false;
        if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid() || info.st_nlink != 1) {
            // A hard link to a file elsewhere, or something that is not ours.
            ::unlink(path.c_str());
            continue;
        }
        return writeAll(fd.get(), bytes);
    }
    return false;
}

bool localPeerIsCurrentUser(std::intptr_t descriptor, LocalPeer, std::string &problem)
{
    struct ucred credentials {};
    socklen_t length = sizeof(credentials);
    if (::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0
        || length != sizeof(credentials)) {
        problem = "peer credentials cannot be read: " + systemError(errno);
        return false;
    }
    if (credentials.uid != ::geteuid()) {
        problem = "peer runs as user id " + std::to_string(credentials.uid) + " (process "
            + std::to_string(credentials.pid) + ")";
        return false;
    }
    return true;
}

std::string currentUserTag()
{
    return std::to_string(::geteuid());
}

} // namespace kyplatform
