#include "platform/sysinfo.h"

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace kyplatform {

bool osVersion(unsigned long &major, unsigned long &minor)
{
    // There is no workstation service here; the name set is Windows' own, so
    // this system is "Unknown".
    major = minor = 0;
    return false;
}

CpuDescription cpuDescription()
{
    CpuDescription cpu;
    std::ifstream in("/proc/cpuinfo");
    if (in) {
        std::ostringstream text;
        text << in.rdbuf();
        cpu = parseCpuInfo(text.str());
    }
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    cpu.count = online > 0 ? static_cast<int>(online) : 1;
    return cpu;
}

std::vector<std::string> graphicsAdapterDescriptions()
{
    // pci.ids comes with the pci.ids (or hwdata) package, which may be absent;
    // the adapters are then named by their numeric ids.
    return drmAdapterDescriptions("/sys/class/drm",
                                  {"/usr/share/misc/pci.ids", "/usr/share/hwdata/pci.ids", "/usr/share/pci.ids"});
}

} // namespace kyplatform
