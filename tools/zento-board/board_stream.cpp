#include "board_stream.h"

#include "link/envelope.h"

namespace zento::board {
namespace {
// Independent sub-seeds for the motion and the faults.
std::uint64_t fault_seed(std::uint64_t seed) {
    std::uint64_t s = seed ^ 0x6661756C74730000ull; // "faults"
    return splitmix64(s);
}
} // namespace

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
    : rate_(rate_hz), model_(seed), faults_(fault_p, fault_seed(seed)) {}

BoardSample BoardStream::append_tick(std::vector<std::uint8_t>& out, std::uint64_t tick) {
    const BoardSample s = model_.sample(time_of(tick));
    const auto att = attitude_payload(s);
    std::size_t from = out.size();
    append_frame(out, kTypeAttitude, att);
    faults_.apply(out, from, frames_++);
    const auto sen = sensor_payload(s);
    from = out.size();
    append_frame(out, kTypeSensor, sen);
    faults_.apply(out, from, frames_++);
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
