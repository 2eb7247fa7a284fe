#include "link/link_event.h"

#include "link/envelope.h"

#include <cstdio>

namespace zento {

std::string_view event_kind_name(LinkEvent::Kind kind) {
    return kind == LinkEvent::Kind::gap ? "gap" : "command";
}

std::string event_label(const LinkEvent& e) {
    char buf[48];
    if (e.kind == LinkEvent::Kind::gap) {
        // Whole microseconds (as recordings keep them), rounded to tenths of a second.
        const long long tenths = (e.length_ns / 1000 + 50'000) / 100'000;
        std::snprintf(buf, sizeof buf, "gap %lld.%lld s", tenths / 10, tenths % 10);
        return buf;
    }
    switch (e.command) {
    case kTypeGyroBias:
        return "gyro bias";
    case kTypeHeightZero:
        return "height zero";
    case 0:
        return "command";
    default:
        std::snprintf(buf, sizeof buf, "command %02x", unsigned(e.command));
        return buf;
    }
}

LinkEvent command_event(std::span<const std::uint8_t> frame, std::int64_t time_ns) {
    LinkEvent e;
    e.kind = LinkEvent::Kind::command;
    e.time_ns = time_ns;
    if (frame.size() >= 4 && frame[0] == kHeader1 && frame[1] == kHeader2) e.command = frame[3];
    return e;
}

std::optional<LinkEvent> GapFinder::batch(std::int64_t time_ns) {
    const std::optional<std::int64_t> last = last_;
    last_ = time_ns;
    if (!last || time_ns - *last <= kGapNs) return std::nullopt;
    LinkEvent e;
    e.kind = LinkEvent::Kind::gap;
    e.time_ns = time_ns;
    e.length_ns = time_ns - *last;
    return e;
}

} // namespace zento
