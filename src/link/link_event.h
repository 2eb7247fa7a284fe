#pragma once
// Events of the link: a command the program sent to the board, and a gap (a stretch of more
// than a second without a byte: an unplug, a board that stopped). The chart marks them, the log
// lists them while a recording plays, and the recording's CSV has a row for each. One rule for
// every source, so that a recording gives the events the live run had:
//  - a command is the frame written to the port, at the source's time when it was written (in a
//    recording: a record of direction 1);
//  - a gap ends with the first batch of bytes more than kGapNs after the batch of bytes before
//    it; the event is at that batch's time (when it became known) and carries its length.
// Labels are short, for a mark on the chart: "gyro bias", "height zero", "gap 2.3 s" (lengths in
// tenths of a second, from whole microseconds, "." as the decimal point).
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace zento {

struct LinkEvent {
    enum class Kind : std::uint8_t { command, gap };
    Kind kind = Kind::command;
    std::int64_t time_ns = 0;   // link time (link/link_time.h)
    std::int64_t length_ns = 0; // gap: the time without bytes
    std::uint8_t command = 0;   // command: the frame's type byte (0: not a command frame)

    bool operator==(const LinkEvent&) const = default;
};

// "command" or "gap": the CSV's type column.
std::string_view event_kind_name(LinkEvent::Kind kind);
// "gyro bias", "height zero", "command e5" (another type), "command" (not a frame), "gap 2.3 s".
std::string event_label(const LinkEvent& e);

// The event of the bytes `frame` written to the port at `time_ns`.
LinkEvent command_event(std::span<const std::uint8_t> frame, std::int64_t time_ns);

// Finds the gaps of a stream from the times of its batches of bytes.
class GapFinder {
  public:
    static constexpr std::int64_t kGapNs = 1'000'000'000;
    // A batch with bytes at `time_ns` (not before the one before): the gap it ends, if any.
    std::optional<LinkEvent> batch(std::int64_t time_ns);
    // Another source: what came before is no reference.
    void reset() { last_.reset(); }

  private:
    std::optional<std::int64_t> last_;
};

} // namespace zento
