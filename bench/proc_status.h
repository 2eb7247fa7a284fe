#pragma once
// The process's own memory figures from /proc/self/status (Linux), for the benchmarks that
// report resident memory. 0 where the file or the key is missing.
#include <cstring>
#include <fstream>
#include <string>

namespace zento::bench {

// The value of a "Key:   1234 kB" line in MiB (key with its colon, as "VmRSS:").
inline double status_mib(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(key);
    while (std::getline(status, line)) {
        if (line.compare(0, n, key) == 0) return std::stod(line.substr(n)) / 1024.0;
    }
    return 0;
}

inline double rss_mib() {
    return status_mib("VmRSS:");
}

} // namespace zento::bench
