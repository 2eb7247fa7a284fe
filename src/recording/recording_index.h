#pragma once
// A recording's index from play time to a place in the file, built on a thread of its own while
// the recording plays: about every kSpacingNs of play time (or kSpacingBytes of file) the place
// of a batch (ReaderMark), its play time, and the play times' state before it (PlayTimes), so
// that a seek reads from the nearest place before its time instead of from the start. The file is
// read once, a block at a time (never whole); what is indexed so far can be sought while the rest
// is read, and length() is known once the whole file is.
//
// Play times are recording_reader.h's (PlayTimes: a jump of more than a minute taken out), as
// the playback port plays them; an entry's time is the largest play time up to its batch, so
// entries are in order even where a record is stamped a little before the one before.
// All calls are safe from any thread; nothing is called back.
#include "recording/recording_reader.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace zento {

class RecordingIndex {
  public:
    static constexpr std::int64_t kSpacingNs = 4'000'000'000;
    static constexpr std::uint64_t kSpacingBytes = std::uint64_t(8) << 20;

    struct Entry {
        std::int64_t play_ns = 0; // of the batch at `mark`
        ReaderMark mark;
        PlayTimes times; // as they were before that batch
    };

    // Starts reading `file` (as RecordingFile::open does, with `options`).
    RecordingIndex(std::filesystem::path file, ReaderOptions options = {});
    ~RecordingIndex(); // stops reading
    RecordingIndex(const RecordingIndex&) = delete;
    RecordingIndex& operator=(const RecordingIndex&) = delete;

    // The last entry at or before play time `t`; nothing when there is none (yet).
    std::optional<Entry> before(std::int64_t t) const;
    // The largest play time read so far (-1 before the first batch).
    std::int64_t indexed() const { return indexed_.load(std::memory_order_relaxed); }
    // The play time of the last batch, once the file was read to its end (or damage).
    std::optional<std::int64_t> length() const;
    std::size_t size() const;
    // Blocks until the file is read (tests, benchmarks).
    void wait() const;

  private:
    void run(const std::filesystem::path& file, ReaderOptions options);

    mutable std::mutex m_;
    std::vector<Entry> entries_;
    std::atomic<std::int64_t> indexed_{-1};
    std::atomic<std::int64_t> length_{-1};
    std::atomic<bool> cancel_{false};
    std::thread thread_;
};

} // namespace zento
