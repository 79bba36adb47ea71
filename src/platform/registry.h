#pragma once

#include <memory>
#include <string>
#include <vector>

// String values of the system registry, addressed by key paths in Windows form:
// a root ("HKLM", "HKEY_LOCAL_MACHINE", "HKCU", "HKEY_CURRENT_USER") and the
// key names below it, separated by backslashes. Key and value names match
// without regard to letter case.
//
// On Windows these are the real registry calls, in the 32-bit view of the
// registry (where the tools' installers register). Only string values
// (REG_SZ, REG_EXPAND_SZ unexpanded) are read. Elsewhere the store is a
// folder tree under KYORO_REGISTRY_DIR (default "kyoro-registry" in the user's
// data folder): one folder per key, its values in one small file per key,
// replaced atomically on every write; unreadable or garbage content reads as
// absent.
namespace kyplatform {

// The key under which installers register their uninstall entries.
extern const char kUninstallKey[];

// Subkey names of `key` in enumeration order. False when the key cannot be
// opened (for instance when it does not exist).
bool registrySubkeys(const std::string &key, std::vector<std::string> &names);

bool registryKeyExists(const std::string &key);

// Reads a string value. False when the key or the value is missing or
// unreadable; `value` is left unchanged then.
bool registryReadString(const std::string &key, const std::string &valueName, std::string &value);

// Writes a string value, creating the key and its missing parents.
bool registryWriteString(const std::string &key, const std::string &valueName, const std::string &value);

// Creates the key and its missing parents.
bool registryCreateKey(const std::string &key);

// Deletes the key with all its subkeys and values. True when the key is gone
// afterwards (also when it never existed).
bool registryDeleteTree(const std::string &key);

// All values of a key as (name, data) pairs; false when the key is missing.
bool registryValues(const std::string &key, std::vector<std::pair<std::string, std::string>> &values);

// Splits a key path into its root (normalised to "HKLM", "HKCU", "HKCR",
// "HKU" or "HKCC") and its key names; false for an unknown root or an empty
// name between two backslashes.
bool splitRegistryKey(const std::string &key, std::string &root, std::vector<std::string> &names);

// Tells, without blocking, whether a key or anything below it (subkeys and
// their values) changed: changed() drains what happened since the previous
// call, arms the watch again, and only then answers, so whatever the caller
// reads afterwards is at least as new as the answer, and a later change is
// reported by a later call. The first call answers true. Where no watch can
// be set (on Windows while the key does not exist), every call answers true,
// so that callers re-read rather than miss a change.
//
// On Windows this is RegNotifyChangeKeyValue on the key (call changed() from
// one long-lived thread); elsewhere inotify on the store's folders: the
// key's folder and everything below it, and the folders on the way to it,
// which report the key's creation.
class RegistryWatch
{
public:
    explicit RegistryWatch(const std::string &key);
    ~RegistryWatch();
    RegistryWatch(const RegistryWatch &) = delete;
    RegistryWatch &operator=(const RegistryWatch &) = delete;

    bool changed();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace kyplatform
