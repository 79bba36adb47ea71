#include "kysetupfiles.h"

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kysetup {

namespace {

const wchar_t kNew[] = L".setup-new";
const wchar_t kOld[] = L".setup-old";
const wchar_t kJournal[] = L".setup-journal";
const wchar_t kList[] = L".setup-files";
const char kJournalHeader[] = "KYSETUP-JOURNAL 1";

// One step of a swap: a file of the new version ('N') or a file of the
// previous one that the new one no longer ships ('O').
struct Entry
{
    char kind;
    std::wstring path; // relative, with backslashes
};

struct Handle
{
    explicit Handle(HANDLE h) : value(h) {}
    ~Handle()
    {
        if (value != INVALID_HANDLE_VALUE && value)
            CloseHandle(value);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    HANDLE value;
};

std::wstring wide(const std::string &text)
{
    if (text.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring result(std::size_t(length > 0 ? length : 0), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), &result[0], length);
    return result;
}

std::string utf8(const std::wstring &text)
{
    if (text.empty())
        return std::string();
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(std::size_t(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), &result[0], size, nullptr, nullptr);
    return result;
}

std::wstring folded(std::wstring text)
{
    for (wchar_t &c : text)
        c = wchar_t(std::towlower(c));
    return text;
}

std::wstring join(const std::wstring &folder, const std::wstring &name)
{
    return folder + L"\\" + name;
}

DWORD attributesOf(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str());
}

bool exists(const std::wstring &path)
{
    return attributesOf(path) != INVALID_FILE_ATTRIBUTES;
}

// Creates `root` and the folders on the way to `relative` below it.
void makeParents(const std::wstring &root, const std::wstring &relative)
{
    CreateDirectoryW(root.c_str(), nullptr);
    std::size_t at = 0;
    while ((at = relative.find(L'\\', at)) != std::wstring::npos) {
        CreateDirectoryW(join(root, relative.substr(0, at)).c_str(), nullptr);
        ++at;
    }
}

bool moveFile(const std::wstring &from, const std::wstring &to)
{
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

bool deleteFile(const std::wstring &path)
{
    const DWORD attributes = attributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    if (attributes & FILE_ATTRIBUTE_READONLY)
        SetFileAttributesW(path.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
    return DeleteFileW(path.c_str()) != 0;
}

// Replaces `path` with `content` so that a reader sees the old or the new
// file whole: written beside it, flushed, then renamed over it.
bool writeWhole(const std::wstring &path, const std::string &content)
{
    const std::wstring temp = path + L".tmp";
    {
        Handle file(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.value == INVALID_HANDLE_VALUE)
            return false;
        DWORD written = 0;
        if (!WriteFile(file.value, content.data(), DWORD(content.size()), &written, nullptr)
            || written != content.size() || !FlushFileBuffers(file.value))
            return false;
    }
    return MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool readWhole(const std::wstring &path, std::string &content)
{
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
    if (file.value == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.value, &size) || size.QuadPart > 16 * 1024 * 1024)
        return false;
    content.assign(std::size_t(size.QuadPart), '\0');
    DWORD got = 0;
    return content.empty() || (ReadFile(file.value, &content[0], DWORD(content.size()), &got, nullptr) && got == content.size());
}

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> result;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            result.push_back(line);
        start = end + 1;
    }
    return result;
}

// Regular files below `root\relative`, relative to `root`: those of a folder
// first, then each sub-folder's, in name order. Links are not followed.
void listFiles(const std::wstring &root, const std::wstring &relative, std::vector<std::wstring> &files)
{
    std::vector<std::wstring> names;
    std::vector<std::wstring> folders;
    WIN32_FIND_DATAW found;
    const std::wstring folder = relative.empty() ? root : join(root, relative);
    HANDLE search = FindFirstFileW(join(folder, L"*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L".." || (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            continue;
        const std::wstring path = relative.empty() ? name : join(relative, name);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            folders.push_back(path);
        else
            names.push_back(path);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    std::sort(folders.begin(), folders.end());
    files.insert(files.end(), names.begin(), names.end());
    for (const std::wstring &sub : folders)
        listFiles(root, sub, files);
}

std::vector<std::wstring> installedList(const std::wstring &folder)
{
    std::vector<std::wstring> files;
    std::string text;
    if (!readWhole(join(folder, kList), text))
        return files;
    for (const std::string &line : lines(text)) {
        const std::wstring path = wide(line);
        // Only paths inside the folder: the list is data like any other.
        if (path.empty() || path[0] == L'\\' || path.find(L':') != std::wstring::npos || path.find(L'/') != std::wstring::npos
            || (L"\\" + path + L"\\").find(L"\\..\\") != std::wstring::npos)
            continue;
        files.push_back(path);
    }
    return files;
}

bool writeJournal(const std::wstring &folder, const std::vector<Entry> &entries)
{
    std::string text = std::string(kJournalHeader) + "\n";
    for (const Entry &entry : entries)
        text += std::string(1, entry.kind) + " " + utf8(entry.path) + "\n";
    return writeWhole(join(folder, kJournal), text);
}

// False when there is no journal; `valid` says whether one there could be read.
bool readJournal(const std::wstring &folder, std::vector<Entry> &entries, bool &valid)
{
    entries.clear();
    valid = false;
    if (!exists(join(folder, kJournal)))
        return false;
    std::string text;
    if (!readWhole(join(folder, kJournal), text))
        return true;
    const std::vector<std::string> all = lines(text);
    if (all.empty() || all[0] != kJournalHeader)
        return true;
    for (std::size_t i = 1; i < all.size(); ++i) {
        const std::string &line = all[i];
        if (line.size() < 3 || (line[0] != 'N' && line[0] != 'O') || line[1] != ' ')
            return true;
        entries.push_back(Entry{line[0], wide(line.substr(2))});
    }
    valid = true;
    return true;
}

bool writeList(const std::wstring &folder, const std::vector<Entry> &entries)
{
    std::string text;
    for (const Entry &entry : entries) {
        if (entry.kind == 'N')
            text += utf8(entry.path) + "\n";
    }
    return writeWhole(join(folder, kList), text);
}

// Moves every entry into its place. Each step looks at where the file is, so
// the same journal can be followed again from any point a kill left it at.
bool rollForward(const std::wstring &folder, const std::vector<Entry> &entries, std::wstring &failed,
                 const StepHook &hook)
{
    const std::wstring newRoot = join(folder, kNew);
    const std::wstring oldRoot = join(folder, kOld);
    int moves = 0;
    auto step = [&moves, &hook]() {
        ++moves;
        if (hook)
            hook(moves);
    };
    for (const Entry &entry : entries) {
        const std::wstring installed = join(folder, entry.path);
        const std::wstring aside = join(oldRoot, entry.path);
        const std::wstring incoming = join(newRoot, entry.path);
        if (entry.kind == 'N' && !exists(incoming))
            continue; // in place already
        if (exists(installed)) {
            if (exists(aside)) {
                // The old file is set aside already, yet something put a
                // file here since: the set-aside one is what a roll-back
                // restores, so this one goes.
                if (!deleteFile(installed)) {
                    failed = entry.path;
                    return false;
                }
            } else {
                makeParents(oldRoot, entry.path);
                if (!moveFile(installed, aside)) {
                    failed = entry.path;
                    return false;
                }
                step();
            }
        }
        if (entry.kind == 'N') {
            makeParents(folder, entry.path);
            if (!moveFile(incoming, installed)) {
                failed = entry.path;
                return false;
            }
            step();
        }
    }
    return true;
}

// Puts every file back as it was before the swap, the new ones back into
// .setup-new. False when a file could not go back.
bool rollBack(const std::wstring &folder, const std::vector<Entry> &entries)
{
    const std::wstring newRoot = join(folder, kNew);
    const std::wstring oldRoot = join(folder, kOld);
    bool whole = true;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        const std::wstring installed = join(folder, it->path);
        const std::wstring aside = join(oldRoot, it->path);
        const std::wstring incoming = join(newRoot, it->path);
        if (it->kind == 'N' && exists(installed) && !exists(incoming)) {
            // The new file is in place: back where it came from.
            makeParents(newRoot, it->path);
            whole = moveFile(installed, incoming) && whole;
        }
        if (exists(aside) && !exists(installed))
            whole = moveFile(aside, installed) && whole;
    }
    return whole;
}

// The swap's end, forward or back: the journal goes last but one, the side
// folders last, so that a kill on the way leaves at worst folders to clean.
void finish(const std::wstring &folder)
{
    DeleteFileW(join(folder, kJournal).c_str());
    // Written beside their files by a run that was cut off.
    DeleteFileW(join(folder, std::wstring(kJournal) + L".tmp").c_str());
    DeleteFileW(join(folder, std::wstring(kList) + L".tmp").c_str());
    removeTree(join(folder, kOld));
    removeTree(join(folder, kNew));
}

// Whether the folder `path` is where its name says: a link to a folder that
// the system does not mark as one (Wine shows a Unix link so) resolves to
// another place than its parent's own path and its name.
bool isWhereItsNameSays(const std::wstring &path)
{
    auto finalPath = [](const std::wstring &of, std::wstring &result) {
        Handle folder(CreateFileW(of.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (folder.value == INVALID_HANDLE_VALUE)
            return false;
        wchar_t buffer[32768];
        const DWORD length = GetFinalPathNameByHandleW(folder.value, buffer, 32768, FILE_NAME_NORMALIZED);
        if (length == 0 || length >= 32768)
            return false;
        result = folded(std::wstring(buffer, length));
        return true;
    };
    const std::size_t cut = path.find_last_of(L'\\');
    if (cut == std::wstring::npos)
        return false;
    std::wstring own;
    std::wstring parent;
    if (!finalPath(path, own) || !finalPath(path.substr(0, cut), parent))
        return false;
    if (!parent.empty() && parent.back() == L'\\')
        parent.pop_back();
    return own == parent + L"\\" + folded(path.substr(cut + 1));
}

bool removeLink(const std::wstring &path, DWORD attributes)
{
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && RemoveDirectoryW(path.c_str()))
        return true;
    return DeleteFileW(path.c_str()) != 0;
}

} // namespace

int swapIn(const std::wstring &folder, std::wstring &failed, const StepHook &hook)
{
    std::vector<std::wstring> incoming;
    listFiles(join(folder, kNew), std::wstring(), incoming);
    if (incoming.empty()) {
        failed = kNew;
        return Stopped;
    }
    std::vector<Entry> entries;
    std::set<std::wstring> shipped;
    for (const std::wstring &path : incoming) {
        entries.push_back(Entry{'N', path});
        shipped.insert(folded(path));
    }
    // What the previous version shipped and this one does not goes too.
    for (const std::wstring &path : installedList(folder)) {
        if (!shipped.count(folded(path)) && exists(join(folder, path)))
            entries.push_back(Entry{'O', path});
    }
    if (!writeJournal(folder, entries)) {
        failed = kJournal;
        finish(folder);
        return Stopped;
    }
    if (!rollForward(folder, entries, failed, hook)) {
        if (rollBack(folder, entries))
            finish(folder);
        return Stopped;
    }
    writeList(folder, entries);
    finish(folder);
    return Done;
}

int recover(const std::wstring &folder)
{
    std::vector<Entry> entries;
    bool valid = false;
    if (readJournal(folder, entries, valid)) {
        // A journal that cannot be read is no plan to follow: the folder is
        // left as it is for a person to look at.
        if (!valid)
            return Stopped;
        std::wstring failed;
        if (!rollForward(folder, entries, failed, StepHook())) {
            if (!rollBack(folder, entries))
                return Stopped;
            finish(folder);
            return Stopped;
        }
        writeList(folder, entries);
    }
    finish(folder);
    return Done;
}

bool removeInstalledFiles(const std::wstring &folder)
{
    bool whole = true;
    std::set<std::wstring> parents;
    for (const std::wstring &path : installedList(folder)) {
        const std::wstring file = join(folder, path);
        const DWORD attributes = attributesOf(file);
        if (attributes == INVALID_FILE_ATTRIBUTES)
            continue;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
            whole = removeLink(file, attributes) && whole;
        else if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
            whole = deleteFile(file) && whole;
        for (std::size_t at = path.find(L'\\'); at != std::wstring::npos; at = path.find(L'\\', at + 1))
            parents.insert(path.substr(0, at));
    }
    // Deepest first; only empty folders go.
    for (auto it = parents.rbegin(); it != parents.rend(); ++it)
        RemoveDirectoryW(join(folder, *it).c_str());
    if (whole)
        DeleteFileW(join(folder, kList).c_str());
    return whole;
}

bool removeTree(const std::wstring &path)
{
    const DWORD attributes = attributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_PATH_NOT_FOUND;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return removeLink(path, attributes);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return deleteFile(path);
    if (!isWhereItsNameSays(path))
        return removeLink(path, attributes);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(join(path, L"*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                removeTree(join(path, name));
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return RemoveDirectoryW(path.c_str()) != 0 || !exists(path);
}

} // namespace kysetup
