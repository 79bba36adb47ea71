#pragma once

// Shared by the Windows backend files only (*_win.cpp): text conversion
// between the layer's UTF-8 and the system's UTF-16 or ANSI code page, and
// guards that close handles, registry keys and libraries on every path.

#include <windows.h>

#include <string>

namespace kyplatform {
namespace win {

inline std::wstring toWide(const std::string &text, UINT codePage = CP_UTF8)
{
    if (text.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

inline std::wstring toWide(const char *text, std::size_t length, UINT codePage)
{
    return toWide(std::string(text, length), codePage);
}

inline std::string fromWide(const wchar_t *text, std::size_t length, UINT codePage = CP_UTF8)
{
    if (length == 0)
        return std::string();
    const int size = WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string narrow(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), &narrow[0], size, nullptr, nullptr);
    return narrow;
}

inline std::string fromWide(const std::wstring &text, UINT codePage = CP_UTF8)
{
    return fromWide(text.data(), text.size(), codePage);
}

// `text` in the ANSI code page; false when a character has no place in it.
inline bool toAnsi(const std::wstring &text, std::string &ansi)
{
    ansi.clear();
    if (text.empty())
        return true;
    // A system set to UTF-8 for narrow text holds every character (and the
    // conversion refuses the loss report for it).
    if (GetACP() == CP_UTF8) {
        ansi = fromWide(text, CP_UTF8);
        return true;
    }
    BOOL lossy = FALSE;
    const int size = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, &lossy);
    if (size <= 0 || lossy)
        return false;
    ansi.assign(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), &ansi[0], size,
                        nullptr, &lossy);
    return !lossy;
}

// Owns a kernel handle (process, file, snapshot). Both "no handle" values of
// the API count as empty.
class Handle
{
public:
    explicit Handle(HANDLE handle = nullptr)
        : m_handle(handle)
    {
    }
    ~Handle() { reset(); }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    Handle(Handle &&other) noexcept
        : m_handle(other.m_handle)
    {
        other.m_handle = nullptr;
    }
    Handle &operator=(Handle &&other) noexcept
    {
        if (this != &other) {
            reset(other.m_handle);
            other.m_handle = nullptr;
        }
        return *this;
    }

    HANDLE get() const { return m_handle; }
    bool valid() const { return m_handle && m_handle != INVALID_HANDLE_VALUE; }
    void reset(HANDLE handle = nullptr)
    {
        if (valid())
            CloseHandle(m_handle);
        m_handle = handle;
    }

private:
    HANDLE m_handle;
};

class RegKey
{
public:
    RegKey() = default;
    ~RegKey() { reset(); }
    RegKey(const RegKey &) = delete;
    RegKey &operator=(const RegKey &) = delete;

    HKEY get() const { return m_key; }
    HKEY *out()
    {
        reset();
        return &m_key;
    }
    void reset()
    {
        if (m_key)
            RegCloseKey(m_key);
        m_key = nullptr;
    }

private:
    HKEY m_key = nullptr;
};

class Library
{
public:
    explicit Library(HMODULE module = nullptr)
        : m_module(module)
    {
    }
    ~Library()
    {
        if (m_module)
            FreeLibrary(m_module);
    }
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;

    HMODULE get() const { return m_module; }

    // The exported function `name` as a pointer of type Function.
    template<typename Function>
    Function function(const char *name) const
    {
        if (!m_module)
            return nullptr;
        return reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(m_module, name)));
    }

private:
    HMODULE m_module;
};

} // namespace win
} // namespace kyplatform
