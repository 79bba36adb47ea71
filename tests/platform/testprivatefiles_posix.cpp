// What another account can plant in a shared folder, and the account at the
// other end of a local socket.
#include "platform/privatefiles.h"

#include "platformtestsupport.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

namespace fs = std::filesystem;
using kytest::readFile;
using kytest::utf8;

namespace {
constexpr uid_t kOtherUser = 65534; // nobody

mode_t modeOf(const fs::path &path)
{
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}

// A listening socket at `path`.
int listenAt(const fs::path &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 || ::listen(fd, 4) != 0)
        return -1;
    return fd;
}

int connectTo(const fs::path &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0)
        return -1;
    return fd;
}
} // namespace

TEST(PrivateFilesPosix, NewFolderIsOwnerOnlyAndLoosenedOneIsTightened)
{
    kytest::TempDir temp("kyprivate");
    ASSERT_TRUE(temp.valid());
    std::string problem;
    const auto dir = temp.path() / "fresh";
    ::umask(0);
    ASSERT_TRUE(kyplatform::makePrivateDir(utf8(dir), problem)) << problem;
    ::umask(022);
    EXPECT_EQ(modeOf(dir), mode_t(0700));

    // Our own folder left open to everyone (an older run, a careless umask).
    const auto open = temp.path() / "open";
    ASSERT_EQ(::mkdir(open.c_str(), 0777), 0);
    ::chmod(open.c_str(), 01777);
    ASSERT_TRUE(kyplatform::makePrivateDir(utf8(open), problem)) << problem;
    EXPECT_EQ(modeOf(open), mode_t(0700));
}

TEST(PrivateFilesPosix, LinkInPlaceOfTheFolderIsRefused)
{
    kytest::TempDir temp("kyprivate");
    ASSERT_TRUE(temp.valid());
    const auto elsewhere = temp.path() / "elsewhere";
    fs::create_directory(elsewhere);
    ::chmod(elsewhere.c_str(), 0755);
    fs::create_directory_symlink(elsewhere, temp.path() / "VURuv");
    std::string problem;
    EXPECT_FALSE(kyplatform::makePrivateDir(utf8(temp.path() / "VURuv"), problem));
    EXPECT_NE(problem.find("link"), std::string::npos) << problem;
    EXPECT_EQ(modeOf(elsewhere), mode_t(0755));
}

TEST(PrivateFilesPosix, FolderOfAnotherAccountIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can make a folder that belongs to another account";
    kytest::TempDir temp("kyprivate");
    ASSERT_TRUE(temp.valid());
    const auto planted = temp.path() / "VURuv";
    ASSERT_EQ(::mkdir(planted.c_str(), 0777), 0);
    ::chmod(planted.c_str(), 0777);
    ASSERT_EQ(::chown(planted.c_str(), kOtherUser, kOtherUser), 0);
    std::string problem;
    EXPECT_FALSE(kyplatform::makePrivateDir(utf8(planted), problem));
    EXPECT_NE(problem.find("65534"), std::string::npos) << problem;
    EXPECT_EQ(modeOf(planted), mode_t(0777));
}

// Links, hard links and FIFOs planted under a log file's name: the file they
// lead to stays as it was, and the append goes to a new file of our own.
TEST(PrivateFilesPosix, PlantedEntriesAtTheFileNameAreNeverWrittenThrough)
{
    kytest::TempDir temp("kyprivate");
    ASSERT_TRUE(temp.valid());
    const auto victim = temp.path() / "victim.rc";
    ASSERT_TRUE(kytest::writeFile(victim, "export PATH=/usr/bin\n"));

    const auto symlink = temp.path() / "0315_info.log";
    fs::create_symlink(victim, symlink);
    ASSERT_TRUE(kyplatform::appendToPrivateFile(utf8(symlink), "line\r\n"));
    EXPECT_EQ(readFile(victim), "export PATH=/usr/bin\n");
    EXPECT_FALSE(fs::is_symlink(symlink));
    EXPECT_EQ(readFile(symlink), "line\r\n");

    const auto dangling = temp.path() / "0315_debug.log";
    fs::create_symlink(temp.path() / "created-through-link", dangling);
    ASSERT_TRUE(kyplatform::appendToPrivateFile(utf8(dangling), "line\r\n"));
    EXPECT_FALSE(fs::exists(temp.path() / "created-through-link"));

    const auto hardlink = temp.path() / "0315_error.log";
    fs::create_hard_link(victim, hardlink);
    ASSERT_TRUE(kyplatform::appendToPrivateFile(utf8(hardlink), "line\r\n"));
    EXPECT_EQ(readFile(victim), "export PATH=/usr/bin\n");
    EXPECT_EQ(fs::hard_link_count(victim), 1u);

    const auto fifo = temp.path() / "0316_info.log";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_TRUE(kyplatform::appendToPrivateFile(utf8(fifo), "line\r\n"));
    EXPECT_TRUE(fs::is_regular_file(fifo));
    EXPECT_EQ(modeOf(fifo), mode_t(0600));
}

TEST(PrivateFilesPosix, PeerOfTheSameAccountIsAccepted)
{
    kytest::TempDir temp("kyprivate");
    ASSERT_TRUE(temp.valid());
    const auto path = temp.path() / "s.sock";
    const int server = listenAt(path);
    ASSERT_GE(server, 0);
    const int client = connectTo(path);
    ASSERT_GE(client, 0);
    const int accepted = ::accept(server, nullptr, nullptr);
    ASSERT_GE(accepted, 0);
    std::string problem;
    EXPECT_TRUE(kyplatform::localPeerIsCurrentUser(client, kyplatform::LocalPeer::Server, problem)) << problem;
    EXPECT_TRUE(kyplatform::localPeerIsCurrentUser(accepted, kyplatform::LocalPeer::Client, problem)) << problem;
    // Not a socket at all.
    EXPECT_FALSE(kyplatform::localPeerIsCurrentUser(-1, kyplatform::LocalPeer::Server, problem));
    ::close(accepted);
    ::close(client);
    ::close(server);
}

// Another account on either end of the socket: a client that connects to our
// server, and a server we connect to.
TEST(PrivateFilesPosix, PeerOfAnotherAccountIsRefused)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can run a process as another account";
    kytest::TempDir temp("kyprivate");
    ASSERT_TRUE(temp.valid());
    ::chmod(temp.path().c_str(), 0777);

    // Their client, our server.
    const auto ours = temp.path() / "ours.sock";
    const int server = listenAt(ours);
    ASSERT_GE(server, 0);
    ::chmod(ours.c_str(), 0777);
    const pid_t client = ::fork();
    if (client == 0) {
        if (::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0)
            ::_exit(2);
        const int fd = connectTo(ours);
        char byte = 0;
        ::_exit(fd >= 0 && ::read(fd, &byte, 1) >= 0 ? 0 : 3);
    }
    const int accepted = ::accept(server, nullptr, nullptr);
    ASSERT_GE(accepted, 0);
    std::string problem;
    EXPECT_FALSE(kyplatform::localPeerIsCurrentUser(accepted, kyplatform::LocalPeer::Client, problem));
    EXPECT_NE(problem.find("65534"), std::string::npos) << problem;
    ::close(accepted);
    int status = 0;
    ::waitpid(client, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(server);

    // Their server, our client.
    const auto theirs = temp.path() / "theirs.sock";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t serving = ::fork();
    if (serving == 0) {
        if (::setgid(kOtherUser) != 0 || ::setuid(kOtherUser) != 0)
            ::_exit(2);
        const int fd = listenAt(theirs);
        const char byte = fd >= 0 ? 'y' : 'n';
        if (::write(ready[1], &byte, 1) != 1 || fd < 0)
            ::_exit(3);
        const int peer = ::accept(fd, nullptr, nullptr);
        char ignored = 0;
        ::_exit(peer >= 0 && ::read(peer, &ignored, 1) >= 0 ? 0 : 4);
    }
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'y');
    const int fd = connectTo(theirs);
    ASSERT_GE(fd, 0);
    EXPECT_FALSE(kyplatform::localPeerIsCurrentUser(fd, kyplatform::LocalPeer::Server, problem));
    ::close(fd);
    ::waitpid(serving, &status, 0);
    ::close(ready[0]);
    ::close(ready[1]);
}
