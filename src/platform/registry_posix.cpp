#include "platform/registry.h"

#include "platform/pathmap.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include <cerrno>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace kyplatform {

namespace {

// The values of a key live in this file inside the key's folder. Key folders
// never start with "." (a leading dot is escaped), so it cannot clash.
const char kValuesFile[] = ".values";
const char kValuesHeader[] = "KYREG1";

using Values = std::vector<std::pair<std::string, std::string>>;

std::string storeRoot()
{
    const char *dir = std::getenv("KYORO_REGISTRY_DIR");
    if (dir && *dir)
        return dir;
    return userDataHome() + "/kyoro-registry";
}

std::string folded(const std::string &text)
{
    std::string result = text;
    for (char &c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

bool sameName(const std::string &a, const std::string &b)
{
    return a.size() == b.size() && folded(a) == folded(b);
}

// Key names may hold characters a file name cannot ("/"), so folder names
// escape "%", "/" and a leading "." as %XX.
std::string encodeName(const std::string &name)
{
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '%' || c == '/' || (i == 0 && c == '.')) {
            char buffer[4];
            std::snprintf(buffer, sizeof buffer, "%%%02X", static_cast<unsigned char>(c));
            out += buffer;
        } else {
            out += c;
        }
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

std::string decodeName(const std::string &encoded)
{
    std::string out;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%' && i + 2 < encoded.size()) {
            const int high = hexValue(encoded[i + 1]);
            const int low = hexValue(encoded[i + 2]);
            if (high >= 0 && low >= 0) {
                out += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        out += encoded[i];
    }
    return out;
}

// Subkey folders of `dir` as (name, folder) pairs.
std::vector<std::pair<std::string, fs::path>> childKeys(const fs::path &dir)
{
    struct Child
    {
        std::string sortKey;
        std::string name;
        fs::path folder;
    };
    std::vector<Child> found;
    std::error_code error;
    fs::directory_iterator it(dir, error);
    if (error)
        return {};
    for (const fs::directory_entry &entry : it) {
        const std::string file = entry.path().filename().string();
        if (file.empty() || file[0] == '.')
            continue;
        std::error_code typeError;
        if (!entry.is_directory(typeError))
            continue;
        std::string name = decodeName(file);
        found.push_back({folded(name), std::move(name), entry.path()});
    }
    // Folded once per name, not once per comparison: the uninstall key of a
    // used machine has hundreds of subkeys and is walked at every status query.
    std::sort(found.begin(), found.end(), [](const Child &a, const Child &b) { return a.sortKey < b.sortKey; });
    std::vector<std::pair<std::string, fs::path>> children;
    children.reserve(found.size());
    for (Child &child : found)
        children.emplace_back(std::move(child.name), std::move(child.folder));
    return children;
}

// The folder of `key`; with `create`, missing keys on the way are created.
bool keyFolder(const std::string &key, bool create, fs::path &folder)
{
    std::string root;
    std::vector<std::string> names;
    if (!splitRegistryKey(key, root, names))
        return false;
    fs::path current = fs::path(storeRoot()) / root;
    std::error_code error;
    if (!fs::is_directory(current, error)) {
        if (!create || !fs::create_directories(current, error))
            return false;
    }
    for (const std::string &name : names) {
        // The usual case, without listing the parent: the folder carries the
        // name in the letter case it was created with.
        const fs::path direct = current / encodeName(name);
        if (fs::is_directory(direct, error)) {
            current = direct;
            continue;
        }
        bool found = false;
        for (const auto &child : childKeys(current)) {
            if (sameName(child.first, name)) {
                current = child.second;
                found = true;
                break;
            }
        }
        if (found)
            continue;
        if (!create)
            return false;
        current /= encodeName(name);
        if (!fs::create_directory(current, error) && !fs::is_directory(current, error))
            return false;
    }
    folder = current;
    return true;
}

// A values file larger than this is no file the store wrote.
constexpr off_t kMaxValuesBytes = 1 << 20;

// The content of a values file, read only when it is a regular file (no
// link, no FIFO, no device): opening a FIFO to read would block until some
// writer came, and the status monitor reads on the GUI thread.
bool readValuesFile(const fs::path &path, std::string &text)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxValuesBytes;
    text.clear();
    if (ok)
        text.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[4096];
    while (ok) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 || text.size() + static_cast<std::size_t>(got) > static_cast<std::size_t>(kMaxValuesBytes))
            ok = false;
        if (got <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return ok;
}

// Reads the values file; garbage (a wrong header, a length that runs past the
// end, trailing bytes) reads as "no values".
Values readValues(const fs::path &folder)
{
    std::string text;
    if (!readValuesFile(folder / kValuesFile, text))
        return {};

    Values values;
    const std::string header = std::string(kValuesHeader) + "\n";
    if (text.compare(0, header.size(), header) != 0)
        return {};
    std::size_t pos = header.size();
    while (pos < text.size()) {
        const std::size_t lineEnd = text.find('\n', pos);
        if (lineEnd == std::string::npos)
            return {};
        unsigned long long nameLength = 0;
        unsigned long long dataLength = 0;
        char tail = 0;
        const std::string line = text.substr(pos, lineEnd - pos);
        if (std::sscanf(line.c_str(), "%llu %llu%c", &nameLength, &dataLength, &tail) != 2)
            return {};
        pos = lineEnd + 1;
        if (nameLength > text.size() || dataLength > text.size() || pos + nameLength + dataLength + 1 > text.size())
            return {};
        std::string name = text.substr(pos, nameLength);
        std::string data = text.substr(pos + nameLength, dataLength);
        pos += nameLength + dataLength;
        if (text[pos] != '\n')
            return {};
        ++pos;
        values.emplace_back(std::move(name), std::move(data));
    }
    return values;
}

// Write, flush, then rename over the old file: readers see the old or the new
// values, never a half-written file.
bool writeValues(const fs::path &folder, const Values &values)
{
    static std::atomic<unsigned> counter{0};
    std::string text = std::string(kValuesHeader) + "\n";
    for (const auto &value : values) {
        text += std::to_string(value.first.size()) + " " + std::to_string(value.second.size()) + "\n";
        text += value.first + value.second + "\n";
    }
    const fs::path temp = folder / (std::string(kValuesFile) + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            return false;
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            out.close();
            std::error_code ignored;
            fs::remove(temp, ignored);
            return false;
        }
    }
    std::error_code error;
    fs::rename(temp, folder / kValuesFile, error);
    if (error) {
        std::error_code ignored;
        fs::remove(temp, ignored);
        return false;
    }
    return true;
}

} // namespace

bool registrySubkeys(const std::string &key, std::vector<std::string> &names)
{
    fs::path folder;
    if (!keyFolder(key, false, folder))
        return false;
    names.clear();
    for (const auto &child : childKeys(folder))
        names.push_back(child.first);
    return true;
}

bool registryKeyExists(const std::string &key)
{
    fs::path folder;
    return keyFolder(key, false, folder);
}

bool registryReadString(const std::string &key, const std::string &valueName, std::string &value)
{
    fs::path folder;
    if (!keyFolder(key, false, folder))
        return false;
    for (const auto &entry : readValues(folder)) {
        if (sameName(entry.first, valueName)) {
            value = entry.second;
            return true;
        }
    }
    return false;
}

bool registryValues(const std::string &key, Values &values)
{
    fs::path folder;
    if (!keyFolder(key, false, folder))
        return false;
    values = readValues(folder);
    return true;
}

bool registryWriteString(const std::string &key, const std::string &valueName, const std::string &value)
{
    fs::path folder;
    if (!keyFolder(key, true, folder))
        return false;
    Values values = readValues(folder);
    bool replaced = false;
    for (auto &entry : values) {
        if (sameName(entry.first, valueName)) {
            entry.second = value;
            replaced = true;
            break;
        }
    }
    if (!replaced)
        values.emplace_back(valueName, value);
    return writeValues(folder, values);
}

bool registryCreateKey(const std::string &key)
{
    fs::path folder;
    return keyFolder(key, true, folder);
}

bool registryDeleteTree(const std::string &key)
{
    std::string root;
    std::vector<std::string> names;
    // A root key cannot be deleted.
    if (!splitRegistryKey(key, root, names) || names.empty())
        return false;
    fs::path folder;
    if (!keyFolder(key, false, folder))
        return true;
    std::error_code error;
    fs::remove_all(folder, error);
    return !fs::exists(folder, error);
}

namespace {
// The folders on the way to the key report its creation or removal; the
// key's own tree reports every change of a subkey or a value (values are
// replaced by a rename into the folder).
const uint32_t kPathMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF
    | IN_ONLYDIR;
const uint32_t kTreeMask = kPathMask | IN_CLOSE_WRITE | IN_ATTRIB;
// Registry keys are not nested deeper than this below the watched key.
const int kMaxTreeDepth = 8;
} // namespace

struct RegistryWatch::Impl
{
    // What a watched folder reports that matters: anything, for the key's
    // own tree; on the way to it, only events about the next folder on the
    // way (its name folded as registry names are, or exact for the folders
    // that hold the store) and the folder's own removal.
    struct Watched
    {
        std::string next;
        bool registryName = false;
    };

    std::string key;
    std::string root;
    // Where the watched folders really are: a store reached through a link
    // (or a key folder that is one) moves when the link is pointed elsewhere,
    // which no watch on the old folders reports.
    std::string realPath;
    int fd = -1;
    std::map<int, Watched> watches;

    ~Impl()
    {
        if (fd >= 0)
            ::close(fd);
    }

    void watch(const fs::path &folder, uint32_t mask, Watched what)
    {
        const int wd = inotify_add_watch(fd, folder.c_str(), mask);
        if (wd >= 0)
            watches[wd] = std::move(what);
    }

    void watchTree(const fs::path &folder, int depth)
    {
        watch(folder, kTreeMask, Watched());
        if (depth >= kMaxTreeDepth)
            return;
        for (const auto &child : childKeys(folder))
            watchTree(child.second, depth + 1);
    }

    // The real path of the key's folder, or of the store when the key does
    // not exist yet.
    std::string currentRealPath() const
    {
        fs::path folder;
        std::error_code error;
        if (keyFolder(key, false, folder))
            return fs::canonical(folder, error).string();
        return "(no key) " + fs::weakly_canonical(storeRoot(), error).string();
    }

    // Drops every watch and sets them again on the folders as they are now.
    void arm()
    {
        if (fd < 0)
            fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (fd < 0)
            return;
        for (const auto &watched : watches)
            inotify_rm_watch(fd, watched.first);
        watches.clear();
        root = storeRoot();
        realPath = currentRealPath();

        std::string rootName;
        std::vector<std::string> names;
        if (!splitRegistryKey(key, rootName, names))
            return;
        std::error_code error;
        fs::path current = fs::path(root).lexically_normal();
        if (!current.has_filename())
            current = current.parent_path(); // "store/" names "store"
        if (!fs::is_directory(current, error)) {
            // No store yet: the nearest folder that exists reports when the
            // next one on the way comes.
            fs::path child = current;
            fs::path parent = current.parent_path();
            while (!parent.empty() && parent != child && !fs::is_directory(parent, error)) {
                child = parent;
                parent = parent.parent_path();
            }
            if (!parent.empty() && parent != child)
                watch(parent, kPathMask, Watched{child.filename().string(), false});
            return;
        }
        // The store's own name in its parent: a link there replaced (or the
        // store removed or renamed) is reported at once.
        const fs::path parent = current.parent_path();
        if (!parent.empty() && parent != current)
            watch(parent, kPathMask, Watched{current.filename().string(), false});
        names.insert(names.begin(), rootName);
        for (std::size_t i = 0; i < names.size(); ++i) {
            watch(current, kPathMask, Watched{folded(names[i]), true});
            fs::path next;
            for (const auto &child : childKeys(current)) {
                if (sameName(child.first, names[i])) {
                    next = child.second;
                    break;
                }
            }
            if (next.empty())
                return;
            current = next;
        }
        watchTree(current, 0);
    }

    bool matters(const inotify_event &event) const
    {
        if (event.mask & IN_Q_OVERFLOW)
            return true;
        const auto it = watches.find(event.wd);
        if (it == watches.end())
            return false; // a watch dropped by arm()
        const Watched &what = it->second;
        if (what.next.empty() || (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)))
            return true;
        if (event.len == 0)
            return false;
        const std::string name = event.name;
        return what.registryName ? folded(decodeName(name)) == what.next : name == what.next;
    }

    // Reads every pending event; true when one of them matters.
    bool drain()
    {
        bool any = false;
        alignas(inotify_event) std::array<char, 8192> buffer;
        for (;;) {
            const ssize_t got = ::read(fd, buffer.data(), buffer.size());
            if (got <= 0)
                return any;
            for (ssize_t pos = 0; pos + ssize_t(sizeof(inotify_event)) <= got;) {
                const auto *event = reinterpret_cast<const inotify_event *>(buffer.data() + pos);
                any = any || matters(*event);
                pos += ssize_t(sizeof(inotify_event)) + event->len;
            }
        }
    }
};

RegistryWatch::RegistryWatch(const std::string &key)
    : m_impl(new Impl)
{
    m_impl->key = key;
}

RegistryWatch::~RegistryWatch() = default;

bool RegistryWatch::changed()
{
    // Another store (KYORO_REGISTRY_DIR changed), or the same one reached
    // through a link that now leads elsewhere, is another set of folders.
    if (!m_impl->watches.empty() && m_impl->root == storeRoot() && !m_impl->drain()
        && m_impl->realPath == m_impl->currentRealPath())
        return false;
    m_impl->arm();
    return true;
}

} // namespace kyplatform
