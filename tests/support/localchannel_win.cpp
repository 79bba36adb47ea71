#include "localchannel.h"

#include <windows.h>
#include <aclapi.h>

#include <vector>

namespace kytest {

namespace {
// QLocalServer serves a name that is not a pipe path as \\.\pipe\<name>.
std::wstring pipePath(const QString &name)
{
    const QString path = name.startsWith(QLatin1String("\\\\.\\pipe\\")) ? name : QStringLiteral("\\\\.\\pipe\\") + name;
    return path.toStdWString();
}

bool currentUser(std::vector<BYTE> &buffer)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    buffer.assign(size, 0);
    const bool ok = size && GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    CloseHandle(token);
    return ok;
}
} // namespace

bool localChannelExists(const QString &name)
{
    // Fails at once with "file not found" when no pipe of that name exists;
    // a pipe whose instances are all busy only makes it wait.
    return WaitNamedPipeW(pipePath(name).c_str(), 1) || GetLastError() != ERROR_FILE_NOT_FOUND;
}

bool localChannelIsPrivate(const QString &name, QString &problem)
{
    // Reading the access list opens the pipe, as a client that says nothing
    // and goes away.
    HANDLE pipe = CreateFileW(pipePath(name).c_str(), READ_CONTROL, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
        problem = QStringLiteral("the pipe cannot be opened (error %1)").arg(GetLastError());
        return false;
    }
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD read = GetSecurityInfo(pipe, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                       nullptr, &descriptor);
    CloseHandle(pipe);
    if (read != ERROR_SUCCESS) {
        problem = QStringLiteral("the access list cannot be read (error %1)").arg(read);
        return false;
    }
    std::vector<BYTE> user;
    bool only = currentUser(user) && dacl;
    if (!dacl)
        problem = QStringLiteral("no access list: everybody may connect");
    for (DWORD i = 0; only && i < dacl->AceCount; ++i) {
        ACE_HEADER *header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void **>(&header)))
            continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE)
            continue;
        auto *ace = reinterpret_cast<ACCESS_ALLOWED_ACE *>(header);
        if (!EqualSid(&ace->SidStart, reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid)) {
            problem = QStringLiteral("entry %1 of the access list grants another account").arg(i);
            only = false;
        }
    }
    LocalFree(descriptor);
    return only;
}

} // namespace kytest
