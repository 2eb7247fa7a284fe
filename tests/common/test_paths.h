#pragma once
// Where the tests find the program's folder (<build>/bin) and the source tree: ZENTO_BIN_DIR and
// ZENTO_SOURCE_DIR when set (an installed or relocated tree), else the paths of the build.
#include <cstdlib>
#include <string>

namespace zento_test {

inline std::string bin_dir() {
    const char* d = std::getenv("ZENTO_BIN_DIR");
    return d && *d ? d : ZENTO_TEST_BIN_DIR;
}

inline std::string source_dir() {
    const char* d = std::getenv("ZENTO_SOURCE_DIR");
    return d && *d ? d : ZENTO_TEST_SOURCE_DIR;
}

} // namespace zento_test
