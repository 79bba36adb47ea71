#include "platform/sysinfo.h"

#include "platform/win_p.h"

#include <dxgi.h>
#include <lm.h>

#include <cstring>
#include <cwchar>

namespace kyplatform {

namespace {

class NetBuffer
{
public:
    ~NetBuffer()
    {
        if (m_buffer)
            NetApiBufferFree(m_buffer);
    }
    LPBYTE *out() { return &m_buffer; }
    LPBYTE get() const { return m_buffer; }

private:
    LPBYTE m_buffer = nullptr;
};

template<typename Interface>
class ComPtr
{
public:
    ~ComPtr()
    {
        if (m_pointer)
            m_pointer->Release();
    }
    Interface **out() { return &m_pointer; }
    Interface *operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

private:
    Interface *m_pointer = nullptr;
};

// A string value of the processor key, read into a zeroed buffer.
std::string processorString(HKEY key, const wchar_t *name)
{
    wchar_t buffer[256];
    std::memset(buffer, 0, sizeof buffer);
    DWORD type = REG_NONE;
    // One character less than the buffer, so the text always ends in a zero.
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size) != ERROR_SUCCESS
        || (type != REG_SZ && type != REG_EXPAND_SZ))
        return std::string();
    return win::fromWide(buffer, std::wcslen(buffer));
}

using CreateFactory = HRESULT(WINAPI *)(REFIID, void **);

} // namespace

bool osVersion(unsigned long &major, unsigned long &minor)
{
    major = minor = 0;
    NetBuffer buffer;
    if (NetWkstaGetInfo(nullptr, 100, buffer.out()) != NERR_Success || !buffer.get())
        return false;
    const auto *info = reinterpret_cast<const WKSTA_INFO_100 *>(buffer.get());
    major = info->wki100_ver_major;
    minor = info->wki100_ver_minor;
    return true;
}

CpuDescription cpuDescription()
{
    CpuDescription cpu;
    win::RegKey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", 0, KEY_QUERY_VALUE,
                      key.out())
        == ERROR_SUCCESS) {
        cpu.model = processorString(key.get(), L"ProcessorNameString");
        cpu.vendor = processorString(key.get(), L"VendorIdentifier");
        DWORD mhz = 0;
        DWORD type = REG_NONE;
        DWORD size = sizeof mhz;
        if (RegQueryValueExW(key.get(), L"~MHz", nullptr, &type, reinterpret_cast<BYTE *>(&mhz), &size)
                == ERROR_SUCCESS
            && type == REG_DWORD)
            cpu.mhz = static_cast<int>(mhz);
    }
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    cpu.count = system.dwNumberOfProcessors > 0 ? static_cast<int>(system.dwNumberOfProcessors) : 1;
    return cpu;
}

std::vector<std::string> graphicsAdapterDescriptions()
{
    std::vector<std::string> descriptions;
    // Loaded at run time: the program must start on systems without DXGI.
    // Only the system's own copy is loaded, never one beside the program.
    win::Library dxgi(LoadLibraryExW(L"dxgi.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
    CreateFactory create = dxgi.function<CreateFactory>("CreateDXGIFactory1");
    if (!create)
        create = dxgi.function<CreateFactory>("CreateDXGIFactory");
    if (!create)
        return descriptions;
    {
        ComPtr<IDXGIFactory> factory;
        if (FAILED(create(__uuidof(IDXGIFactory), reinterpret_cast<void **>(factory.out()))) || !factory)
            return descriptions;
        for (UINT index = 0;; ++index) {
            ComPtr<IDXGIAdapter> adapter;
            if (factory->EnumAdapters(index, adapter.out()) == DXGI_ERROR_NOT_FOUND || !adapter)
                break;
            DXGI_ADAPTER_DESC description;
            std::memset(&description, 0, sizeof description);
            if (SUCCEEDED(adapter->GetDesc(&description))) {
                const std::size_t length =
                    wcsnlen(description.Description, sizeof description.Description / sizeof(wchar_t));
                descriptions.push_back(win::fromWide(description.Description, length));
            }
        }
    }
    return descriptions;
}

} // namespace kyplatform
