#pragma once

#include <string>
#include <vector>

// What the telemetry tells about the machine: operating system, processor and
// graphics adapters. Strings are UTF-8.
namespace kyplatform {

// The system's version pair as the workstation service reports it; false when
// it cannot be had (always so where there is no such service).
bool osVersion(unsigned long &major, unsigned long &minor);

// "Windows_XP" (5.1), "Windows_7" (6.1), "Windows_8" (6.2), "Windows_8.1"
// (6.3), "Windows_10" (10.x), "Unknown" for any other pair.
std::string osNameForVersion(unsigned long major, unsigned long minor);

// osNameForVersion of osVersion, "Unknown" when there is no version.
std::string osName();

struct CpuDescription {
    std::string model;   // as the system states it, blanks kept; "" if absent
    std::string vendor;  // "" if absent
    int mhz = 0;         // nominal clock, 0 if absent
    int count = 0;       // logical processors
};

// Reads the processor description afresh (no cache).
CpuDescription cpuDescription();

// Descriptions of the graphics adapters in enumeration order, read afresh;
// empty when there is none.
std::vector<std::string> graphicsAdapterDescriptions();

// The pieces of the Linux probe, without fixed locations so they can be fed
// any text or folder.

// Model name, vendor and whole MHz of the first processor in a
// /proc/cpuinfo text; the count stays 0.
CpuDescription parseCpuInfo(const std::string &text);

// "<vendor name> <device name>" from a pci.ids text, "" when the pair is not
// listed there.
std::string pciIdsName(const std::string &pciIds, unsigned vendor, unsigned device);

// One description per "cardN" below a DRM class folder (/sys/class/drm), in
// card number order: named through the first readable pci.ids file of
// `pciIdsFiles`, else "PCI vvvv:dddd". Cards without PCI ids are skipped.
std::vector<std::string> drmAdapterDescriptions(const std::string &drmClassDir,
                                                const std::vector<std::string> &pciIdsFiles);

} // namespace kyplatform
