#include "platform/sysinfo.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <utility>

namespace kyplatform {

namespace {

bool readText(const std::string &path, std::string &text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream all;
    all << in.rdbuf();
    text = all.str();
    return true;
}

bool parseHex4(const std::string &s, std::size_t at, unsigned &value)
{
    if (s.size() < at + 4)
        return false;
    value = 0;
    for (std::size_t i = at; i < at + 4; ++i) {
        const char c = s[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = unsigned(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = unsigned(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = unsigned(c - 'A' + 10);
        else
            return false;
        value = value * 16 + digit;
    }
    return true;
}

// The name after "<id>  " on a pci.ids line, without a trailing CR.
std::string idsLineName(const std::string &line, std::size_t idEnd)
{
    std::size_t begin = idEnd;
    while (begin < line.size() && (line[begin] == ' ' || line[begin] == '\t'))
        ++begin;
    std::size_t end = line.size();
    while (end > begin && (line[end - 1] == '\r' || line[end - 1] == ' '))
        --end;
    return line.substr(begin, end - begin);
}

// The hexadecimal number in a sysfs attribute file such as "0x10de\n".
bool readSysfsId(const std::string &path, unsigned &value)
{
    std::string text;
    if (!readText(path, text) || text.empty())
        return false;
    char *end = nullptr;
    const unsigned long number = std::strtoul(text.c_str(), &end, 16);
    if (end == text.c_str() || number > 0xFFFF)
        return false;
    value = static_cast<unsigned>(number);
    return true;
}

} // namespace

std::string osNameForVersion(unsigned long major, unsigned long minor)
{
    if (major == 5 && minor == 1)
        return "Windows_XP";
    if (major == 6 && minor == 1)
        return "Windows_7";
    if (major == 6 && minor == 2)
        return "Windows_8";
    if (major == 6 && minor == 3)
        return "Windows_8.1";
    if (major == 10)
        return "Windows_10";
    return "Unknown";
}

std::string osName()
{
    unsigned long major = 0;
    unsigned long minor = 0;
    if (!osVersion(major, minor))
        return "Unknown";
    return osNameForVersion(major, minor);
}

CpuDescription parseCpuInfo(const std::string &text)
{
    CpuDescription cpu;
    bool haveModel = false;
    bool haveVendor = false;
    bool haveMhz = false;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        std::string key = line.substr(0, colon);
        while (!key.empty() && (key.back() == '\t' || key.back() == ' '))
            key.pop_back();
        // The kernel writes "key\t: value"; the value is kept as it stands.
        std::string value = line.substr(colon + 1);
        if (!value.empty() && value[0] == ' ')
            value.erase(0, 1);
        if (!value.empty() && value.back() == '\r')
            value.pop_back();
        if (key == "model name" && !haveModel) {
            cpu.model = value;
            haveModel = true;
        } else if (key == "vendor_id" && !haveVendor) {
            cpu.vendor = value;
            haveVendor = true;
        } else if (key == "cpu MHz" && !haveMhz) {
            cpu.mhz = static_cast<int>(std::strtol(value.c_str(), nullptr, 10));
            haveMhz = true;
        }
    }
    return cpu;
}

std::string pciIdsName(const std::string &pciIds, unsigned vendor, unsigned device)
{
    std::istringstream lines(pciIds);
    std::string line;
    std::string vendorName;
    bool inVendor = false;
    unsigned id = 0;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] != '\t') {
            if (inVendor)
                break;  // the vendor's device list is over
            if (parseHex4(line, 0, id) && id == vendor) {
                inVendor = true;
                vendorName = idsLineName(line, 4);
            }
            continue;
        }
        if (inVendor && line.size() > 1 && line[1] != '\t' && parseHex4(line, 1, id) && id == device)
            return vendorName + " " + idsLineName(line, 5);
    }
    return std::string();
}

std::vector<std::string> drmAdapterDescriptions(const std::string &drmClassDir,
                                                const std::vector<std::string> &pciIdsFiles)
{
    namespace fs = std::filesystem;
    std::vector<std::pair<unsigned long, std::string>> cards;
    std::error_code error;
    for (fs::directory_iterator it(drmClassDir, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= 4 || name.compare(0, 4, "card") != 0)
            continue;
        if (!std::all_of(name.begin() + 4, name.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;  // connectors such as "card0-HDMI-A-1"
        cards.emplace_back(std::strtoul(name.c_str() + 4, nullptr, 10), it->path().string());
    }
    std::sort(cards.begin(), cards.end());

    std::vector<std::string> descriptions;
    std::string ids;
    bool idsLoaded = false;
    for (const auto &card : cards) {
        unsigned vendor = 0;
        unsigned device = 0;
        if (!readSysfsId(card.second + "/device/vendor", vendor) || !readSysfsId(card.second + "/device/device", device))
            continue;
        if (!idsLoaded) {
            idsLoaded = true;
            for (const std::string &file : pciIdsFiles) {
                if (readText(file, ids))
                    break;
            }
        }
        std::string description = pciIdsName(ids, vendor, device);
        if (description.empty()) {
            char fallback[32];
            std::snprintf(fallback, sizeof fallback, "PCI %04x:%04x", vendor, device);
            description = fallback;
        }
        descriptions.push_back(description);
    }
    return descriptions;
}

} // namespace kyplatform
