#include "PeakMemory.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

namespace lurvik::test {

namespace {

// A "Name:  1234 kB" field of /proc/self/status, or -1.
long statusKb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) {
            long kb = -1;
            std::istringstream(line.substr(field.size())) >> kb;
            return kb;
        }
    }
    return -1;
}

} // namespace

PeakMemory::PeakMemory() {
    // "5" starts VmHWM again from the present resident size.
    std::ofstream refs("/proc/self/clear_refs");
    refs << "5" << std::flush;
    m_startKb = refs ? statusKb("VmRSS:") : -1;
}

long PeakMemory::grownKb() const {
    return std::max(0L, statusKb("VmHWM:") - m_startKb);
}

} // namespace lurvik::test
