#include "recording/recording_index.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace zento {

RecordingIndex::RecordingIndex(std::filesystem::path file, ReaderOptions options)
    : thread_([this, file = std::move(file), options] { run(file, options); }) {}

RecordingIndex::~RecordingIndex() {
    cancel_ = true;
    thread_.join();
}

void RecordingIndex::run(const std::filesystem::path& path, ReaderOptions options) {
    std::string ignored; // the player opened it and says what is wrong
    const auto file = RecordingFile::open(path, ignored, options);
    if (!file) {
        length_ = 0;
        return;
    }
    RecordingReader& reader = file->reader();
    PlayTimes times;
    std::int64_t reach = -1, last_play = 0;
    std::uint64_t last_offset = 0;
    bool any = false;
    while (!cancel_.load(std::memory_order_relaxed)) {
        const PlayTimes before = times;
        const auto b = reader.next();
        if (!b) break;
        std::int64_t jump = 0;
        reach = std::max(reach, times.next(b->time_ns, jump));
        indexed_.store(reach, std::memory_order_relaxed);
        if (any && reach - last_play < kSpacingNs && b->offset - last_offset < kSpacingBytes)
            continue;
        const auto mark = reader.mark();
        if (!mark) continue;
        std::lock_guard lock(m_);
        entries_.push_back({reach, *mark, before});
        any = true;
        last_play = reach;
        last_offset = b->offset;
    }
    if (!cancel_) length_ = std::max<std::int64_t>(reach, 0);
}

std::optional<RecordingIndex::Entry> RecordingIndex::before(std::int64_t t) const {
    std::lock_guard lock(m_);
    const auto it = std::upper_bound(entries_.begin(), entries_.end(), t,
                                     [](std::int64_t v, const Entry& e) { return v < e.play_ns; });
    if (it == entries_.begin()) return std::nullopt;
    return *(it - 1);
}

std::optional<std::int64_t> RecordingIndex::length() const {
    const std::int64_t n = length_.load();
    return n < 0 ? std::nullopt : std::optional(n);
}

std::size_t RecordingIndex::size() const {
    std::lock_guard lock(m_);
    return entries_.size();
}

void RecordingIndex::wait() const {
    while (length_.load() < 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

} // namespace zento
