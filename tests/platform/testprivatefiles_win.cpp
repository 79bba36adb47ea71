// The account at the other end of a named pipe.
#include "platform/privatefiles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>

TEST(PrivateFilesWin, PipePeersOfTheSameAccountAreAccepted)
{
    const std::wstring name = L"\\\\.\\pipe\\kyprivatefiles-" + std::to_wstring(GetCurrentProcessId());
    const HANDLE server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                           PIPE_UNLIMITED_INSTANCES, 4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    const HANDLE client = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(client, INVALID_HANDLE_VALUE);

    std::string problem;
    EXPECT_TRUE(kyplatform::localPeerIsCurrentUser(reinterpret_cast<std::intptr_t>(client),
                                                   kyplatform::LocalPeer::Server, problem)) << problem;
    EXPECT_TRUE(kyplatform::localPeerIsCurrentUser(reinterpret_cast<std::intptr_t>(server),
                                                   kyplatform::LocalPeer::Client, problem)) << problem;
    CloseHandle(client);
    CloseHandle(server);
    // A handle that is no pipe tells nothing.
    EXPECT_FALSE(kyplatform::localPeerIsCurrentUser(0, kyplatform::LocalPeer::Server, problem));
    EXPECT_FALSE(problem.empty());
}
