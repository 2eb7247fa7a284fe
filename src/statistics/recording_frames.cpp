#include "statistics/recording_frames.h"

#include "recording/recording_csv.h"
#include "recording/recording_reader.h"

#include <algorithm>

namespace zento {
RecordingFrames read_recording_frames(const std::filesystem::path& file, double plain_rate,
                                      std::stop_token stop,
                                      const std::function<void(double)>& progress) {
    RecordingFrames r;
    ReaderOptions options;
    options.plain_rate = plain_rate;
    const std::unique_ptr<RecordingFile> rf = RecordingFile::open(file, r.error, options);
    if (!rf) return r;
    RecordingReader& reader = rf->reader();
    r.plain = reader.format() == RecordingFormat::plain;
    r.log = std::make_shared<FrameLog>();
    FrameCollector collector(*r.log);
    const double size = double(std::max<std::uint64_t>(rf->size(), 1));
    std::int64_t origin = 0;
    bool started = false;
    for (std::uint64_t n = 0;; ++n) {
        if (n % 256 == 0 && stop.stop_requested()) {
            r.stopped = true;
            r.log.reset();
            return r;
        }
        const auto b = reader.next();
        if (!b) break;
        if (!started) origin = b->time_ns, started = true;
        const double t = double(since_us(b->time_ns, origin)) / 1e6;
        r.length = std::max(r.length, t);
        if (progress && n % 256 == 0) progress(std::min(1.0, double(b->offset) / size));
        if (b->direction != Direction::received) continue;
        collector.feed(b->bytes, t);
    }
    if (reader.stop().damaged) r.damage = reader.stop().reason;
    if (progress) progress(1.0);
    return r;
}

} // namespace zento
