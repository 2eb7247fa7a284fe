#include "board_stream.h"

#include "link/envelope.h"

#include <cmath>

namespace zento::board {
namespace {
// Independent sub-seeds for the motion and the faults.
std::uint64_t fault_seed(std::uint64_t seed) {
    std::uint64_t s = seed ^ 0x6661756C74730000ull; // "faults"
    return splitmix64(s);
}
std::uint64_t drop_seed(std::uint64_t seed) {
    std::uint64_t s = seed ^ 0x64726F7000000000ull; // "drop"
    return splitmix64(s);
}
} // namespace

void ByteDropper::apply(std::vector<std::uint8_t>& out, std::size_t from) {
    if (p_ <= 0.0) return;
    std::size_t keep = from;
    for (std::size_t i = from; i < out.size(); ++i) {
        if (rng_.uniform() < p_) {
            ++count_;
            continue;
        }
        out[keep++] = out[i];
    }
    out.resize(keep);
}

std::uint64_t ticks_per_burst(double burst_ms, double rate_hz) {
    const long long n = std::llround(burst_ms / 1000.0 * rate_hz);
    return n < 1 ? 1 : std::uint64_t(n);
}

double burst_release_time(std::uint64_t tick, std::uint64_t per_burst, double rate_hz) {
    const std::uint64_t last = (tick / per_burst + 1) * per_burst - 1;
    return double(last) / rate_hz;
}

void FaultInjector::apply(std::vector<std::uint8_t>& out, std::size_t from, std::uint64_t frame) {
    if (p_ <= 0.0 || rng_.uniform() >= p_) return;
    const std::size_t size = out.size() - from;
    Fault f;
    f.frame = frame;
    f.kind = FaultKind(rng_.below(3));
    switch (f.kind) {
    case FaultKind::corrupt:
        f.offset = std::size_t(rng_.below(size));
        f.value = std::uint8_t(1 + rng_.below(255));
        out[from + f.offset] ^= f.value;
        break;
    case FaultKind::drop:
        f.offset = std::size_t(rng_.below(size));
        out.erase(out.begin() + std::ptrdiff_t(from + f.offset));
        break;
    case FaultKind::insert:
        f.offset = std::size_t(rng_.below(size + 1));
        f.value = std::uint8_t(rng_.below(256));
        out.insert(out.begin() + std::ptrdiff_t(from + f.offset), f.value);
        break;
    }
    ++count_;
    if (keep_log_) log_.push_back(f);
}

BoardStream::BoardStream(std::uint64_t seed, double rate_hz, double fault_p)
    : rate_(rate_hz), model_(seed), faults_(fault_p, fault_seed(seed)),
      drops_(0.0, drop_seed(seed)) {}

BoardSample BoardStream::append_tick(std::vector<std::uint8_t>& out, std::uint64_t tick) {
    const BoardSample s = model_.sample(time_of(tick));
    const auto att = attitude_payload(s);
    const std::size_t tick_from = out.size();
    std::size_t from = tick_from;
    append_frame(out, kTypeAttitude, att);
    faults_.apply(out, from, frames_++);
    const auto sen = sensor_payload(s);
    from = out.size();
    append_frame(out, kTypeSensor, sen);
    faults_.apply(out, from, frames_++);
    drops_.apply(out, tick_from);
    return s;
}

std::vector<Command> CommandReader::feed(std::span<const std::uint8_t> bytes) {
    found_.clear();
    rx_.feed(bytes);
    return found_;
}

void CommandReader::Rec_other(std::span<const std::uint8_t> f) {
    // Exactly the two command frames: no payload, length byte 4.
    if (f.size() != 3 || f[0] != 4) return;
    if (f[1] == kTypeGyroBias) found_.push_back(Command::gyro_bias);
    if (f[1] == kTypeHeightZero) found_.push_back(Command::altitude_zero);
}

std::string command_name(Command c) {
    return c == Command::gyro_bias ? "E0 (collect gyroscope bias)" : "E2 (zero altitude)";
}

} // namespace zento::board
