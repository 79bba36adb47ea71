#include "platform/registry.h"

#include "platform/win_p.h"

#include <cstring>

namespace kyplatform {

namespace {

// The program this one replaces was a 32-bit program, and the streaming
// tools' installers register their uninstall entries where a 32-bit program
// looks: on 64-bit Windows that is the 32-bit view of HKLM\SOFTWARE
// (WOW6432Node). A 64-bit build must read and write that same view, or it
// would miss every installed tool.
const REGSAM kView = KEY_WOW64_32KEY;

// Subkey names are enumerated into buffers of this many characters.
const DWORD kNameChars = 1024;
// String values are first read into a zeroed buffer of this many bytes.
const DWORD kValueBytes = 1024;

HKEY rootKey(const std::string &root)
{
    if (root == "HKLM")
        return HKEY_LOCAL_MACHINE;
    if (root == "HKCU")
        return HKEY_CURRENT_USER;
    if (root == "HKCR")
        return HKEY_CLASSES_ROOT;
    if (root == "HKU")
        return HKEY_USERS;
    if (root == "HKCC")
        return HKEY_CURRENT_CONFIG;
    return nullptr;
}

// A key path below its root: the names joined as "%s\%s".
std::wstring subkeyPath(const std::wstring &parent, const std::wstring &child)
{
    return parent.empty() ? child : parent + L"\\" + child;
}

struct KeyPath
{
    HKEY root = nullptr;
    std::wstring path;        // below the root, "" for the root itself
    std::wstring parentPath;  // the path without its last name
    std::wstring lastName;    // "" for the root itself
};

bool parseKey(const std::string &key, KeyPath &out)
{
    std::string root;
    std::vector<std::string> names;
    if (!splitRegistryKey(key, root, names))
        return false;
    out.root = rootKey(root);
    out.path.clear();
    out.parentPath.clear();
    out.lastName.clear();
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::wstring name = win::toWide(names[i]);
        if (name.empty())
            return false;
        if (i + 1 == names.size()) {
            out.parentPath = out.path;
            out.lastName = name;
        }
        out.path = subkeyPath(out.path, name);
    }
    return out.root != nullptr;
}

bool openKey(const std::string &key, REGSAM access, win::RegKey &handle)
{
    KeyPath path;
    if (!parseKey(key, path))
        return false;
    return RegOpenKeyExW(path.root, path.path.c_str(), 0, access | kView, handle.out()) == ERROR_SUCCESS;
}

bool createKey(const std::string &key, REGSAM access, win::RegKey &handle)
{
    KeyPath path;
    if (!parseKey(key, path) || path.path.empty())
        return false;
    return RegCreateKeyExW(path.root, path.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access | kView,
                           nullptr, handle.out(), nullptr)
        == ERROR_SUCCESS;
}

// String data as UTF-8; the terminating zeros the registry usually stores
// are not part of the text.
std::string stringData(const BYTE *data, DWORD bytes)
{
    std::size_t chars = bytes / sizeof(wchar_t);
    const wchar_t *text = reinterpret_cast<const wchar_t *>(data);
    while (chars > 0 && text[chars - 1] == L'\0')
        --chars;
    return win::fromWide(text, chars);
}

bool isStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

// Reads a string value of an open key. The value goes into a zeroed
// 1024-byte buffer first, which holds every value the uninstall entries
// carry; a longer one is read again with a buffer of its size, so that no
// value comes back cut or unterminated.
bool queryString(HKEY key, const std::wstring &name, std::string &value)
{
    BYTE buffer[kValueBytes];
    std::memset(buffer, 0, sizeof buffer);
    DWORD type = REG_NONE;
    DWORD size = sizeof buffer;
    LONG status = RegQueryValueExW(key, name.c_str(), nullptr, &type, buffer, &size);
    if (status == ERROR_SUCCESS) {
        if (!isStringType(type))
            return false;
        value = stringData(buffer, size);
        return true;
    }
    // The value may grow between two reads; a few tries settle that.
    for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
        std::vector<BYTE> large(size + sizeof(wchar_t), 0);
        DWORD largeSize = static_cast<DWORD>(large.size());
        status = RegQueryValueExW(key, name.c_str(), nullptr, &type, large.data(), &largeSize);
        if (status == ERROR_SUCCESS) {
            if (!isStringType(type))
                return false;
            value = stringData(large.data(), largeSize);
            return true;
        }
        size = largeSize;
    }
    return false;
}

} // namespace

bool registrySubkeys(const std::string &key, std::vector<std::string> &names)
{
    win::RegKey handle;
    if (!openKey(key, KEY_ENUMERATE_SUB_KEYS, handle))
        return false;
    names.clear();
    // By index from 0 until the enumeration fails.
    for (DWORD index = 0;; ++index) {
        wchar_t name[kNameChars];
        DWORD length = kNameChars;
        if (RegEnumKeyExW(handle.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(win::fromWide(name, length));
    }
    return true;
}

bool registryKeyExists(const std::string &key)
{
    win::RegKey handle;
    return openKey(key, KEY_QUERY_VALUE, handle);
}

bool registryReadString(const std::string &key, const std::string &valueName, std::string &value)
{
    win::RegKey handle;
    if (!openKey(key, KEY_QUERY_VALUE, handle))
        return false;
    return queryString(handle.get(), win::toWide(valueName), value);
}

bool registryWriteString(const std::string &key, const std::string &valueName, const std::string &value)
{
    win::RegKey handle;
    if (!createKey(key, KEY_SET_VALUE, handle))
        return false;
    std::wstring data = win::toWide(value);
    const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(handle.get(), win::toWide(valueName).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE *>(data.c_str()), bytes)
        == ERROR_SUCCESS;
}

bool registryCreateKey(const std::string &key)
{
    win::RegKey handle;
    return createKey(key, KEY_QUERY_VALUE, handle);
}

bool registryDeleteTree(const std::string &key)
{
    KeyPath path;
    // A root key cannot be deleted.
    if (!parseKey(key, path) || path.path.empty())
        return false;
    {
        win::RegKey handle;
        const LONG opened = RegOpenKeyExW(path.root, path.path.c_str(), 0,
                                          DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | KEY_SET_VALUE | kView,
                                          handle.out());
        if (opened == ERROR_FILE_NOT_FOUND)
            return true;
        if (opened != ERROR_SUCCESS)
            return false;
        // Everything below the key, through the handle of the right view.
        if (RegDeleteTreeW(handle.get(), nullptr) != ERROR_SUCCESS)
            return false;
    }
    // The key itself, named relative to its parent in the same view.
    win::RegKey parent;
    if (RegOpenKeyExW(path.root, path.parentPath.c_str(), 0, DELETE | KEY_ENUMERATE_SUB_KEYS | kView, parent.out())
        != ERROR_SUCCESS)
        return false;
    const LONG deleted = RegDeleteKeyExW(parent.get(), path.lastName.c_str(), kView, 0);
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
}

bool registryValues(const std::string &key, std::vector<std::pair<std::string, std::string>> &values)
{
    win::RegKey handle;
    if (!openKey(key, KEY_QUERY_VALUE, handle))
        return false;
    DWORD count = 0;
    DWORD longestName = 0;
    if (RegQueryInfoKeyW(handle.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &longestName,
                         nullptr, nullptr, nullptr)
        != ERROR_SUCCESS)
        return false;
    values.clear();
    std::vector<wchar_t> name(longestName + 1);
    for (DWORD index = 0; index < count; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        DWORD type = REG_NONE;
        if (RegEnumValueW(handle.get(), index, name.data(), &length, nullptr, &type, nullptr, nullptr)
            != ERROR_SUCCESS)
            break;
        // Only string values: the layer speaks text.
        if (!isStringType(type))
            continue;
        const std::wstring valueName(name.data(), length);
        std::string data;
        if (queryString(handle.get(), valueName, data))
            values.emplace_back(win::fromWide(valueName), data);
    }
    return true;
}

struct RegistryWatch::Impl
{
    std::string key;
    win::RegKey handle;
    win::Handle event;
    bool armed = false;

    // Opens the key when needed and asks for the next change to signal the
    // event: subkeys added or removed, values set, anywhere below the key.
    void arm()
    {
        armed = false;
        if (!event.valid())
            event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!event.valid())
            return;
        if (!handle.get() && !openKey(key, KEY_NOTIFY, handle))
            return;
        ResetEvent(event.get());
        const LONG status = RegNotifyChangeKeyValue(handle.get(), TRUE,
                                                    REG_NOTIFY_CHANGE_NAME | REG_NOTIFY_CHANGE_LAST_SET,
                                                    event.get(), TRUE);
        if (status != ERROR_SUCCESS) {
            // A deleted key cannot be watched: it is opened anew next time.
            handle.reset();
            return;
        }
        armed = true;
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
    if (m_impl->armed && WaitForSingleObject(m_impl->event.get(), 0) == WAIT_TIMEOUT)
        return false;
    m_impl->arm();
    return true;
}

} // namespace kyplatform
