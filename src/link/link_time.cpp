#include "link/link_time.h"

#include <chrono>

namespace zento {

std::int64_t link_clock_ns() {
    using namespace std::chrono;
    struct Origin {
        steady_clock::time_point steady = steady_clock::now();
        std::int64_t wall_us =
            duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
    };
    static const Origin origin; // thread-safe initialisation
    const std::int64_t since_us =
        duration_cast<microseconds>(steady_clock::now() - origin.steady).count();
    return (origin.wall_us + since_us) * 1000;
}

} // namespace zento
