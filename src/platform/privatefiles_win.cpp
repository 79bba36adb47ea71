#include "platform/privatefiles.h"

#include "platform/win_p.h"

#include <vector>

namespace kyplatform {

namespace {

using win::Handle;

std::string errorText(const char *what)
{
    return std::string(what) + " (error " + std::to_string(GetLastError()) + ")";
}

// The user SID of a process's token, as a buffer holding a TOKEN_USER.
bool tokenUser(HANDLE process, std::vector<BYTE> &buffer)
{
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &rawToken))
        return false;
    Handle token(rawToken);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0)
        return false;
    buffer.assign(size, 0);
    return GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size) != 0;
}

PSID sidOf(std::vector<BYTE> &buffer)
{
    return reinterpret_cast<TOKEN_USER *>(buffer.data())->User.Sid;
}

} // namespace

bool makePrivateDir(const std::string &path, std::string &problem)
{
    if (path.empty()) {
        problem = "no path given";
        return false;
    }
    const std::wstring wide = win::toWide(path);
    if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        problem = errorText("cannot be created");
        return false;
    }
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        problem = errorText("cannot be read");
        return false;
    }
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        problem = "is not a folder";
        return false;
    }
    // The per-user folders this is used in are private already; a junction
    // or link could still lead anywhere.
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        problem = "is a link or junction";
        return false;
    }
    return true;
}

bool appendToPrivateFile(const std::string &path, const std::string &bytes)
{
    const std::wstring wide = win::toWide(path);
    for (int attempt = 0; attempt < 2; ++attempt) {
        // FILE_APPEND_DATA alone: every write lands at the end. The reparse
        // flag opens a link itself instead of what it points to.
        Handle file(CreateFileW(wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file.valid())
            return false;
        BY_HANDLE_FILE_INFORMATION info{};
        if (!GetFileInformationByHandle(file.get(), &info))
            return false;
        if ((info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))
            || info.nNumberOfLinks != 1) {
            file.reset();
            DeleteFileW(wide.c_str());
            continue;
        }
        const char *data = bytes.data();
        std::size_t left = bytes.size();
        while (left > 0) {
            const DWORD chunk = left > 0x40000000u ? 0x40000000u : DWORD(left);
            DWORD written = 0;
            if (!WriteFile(file.get(), data, chunk, &written, nullptr) || written == 0)
                return false;
            data += written;
            left -= written;
        }
        return true;
    }
    return false;
}

bool localPeerIsCurrentUser(std::intptr_t descriptor, LocalPeer peer, std::string &problem)
{
    const HANDLE pipe = reinterpret_cast<HANDLE>(descriptor);
    ULONG processId = 0;
    const BOOL known = peer == LocalPeer::Server ? GetNamedPipeServerProcessId(pipe, &processId)
                                                 : GetNamedPipeClientProcessId(pipe, &processId);
    if (!known) {
        problem = errorText("the process at the other end of the pipe cannot be told");
        return false;
    }
    Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    std::vector<BYTE> theirs;
    std::vector<BYTE> ours;
    if (!process.valid() || !tokenUser(process.get(), theirs)) {
        problem = errorText("the account of the process at the other end cannot be read") + ", process "
            + std::to_string(processId);
        return false;
    }
    if (!tokenUser(GetCurrentProcess(), ours)) {
        problem = errorText("our own account cannot be read");
        return false;
    }
    if (!EqualSid(sidOf(theirs), sidOf(ours))) {
        problem = "the process at the other end (" + std::to_string(processId) + ") runs as another account";
        return false;
    }
    return true;
}

std::string currentUserTag()
{
    return "user";
}

} // namespace kyplatform
