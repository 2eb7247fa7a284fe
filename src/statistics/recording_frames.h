#pragma once
// A recording (or a plain capture) read into a FrameLog for the statistics, as zento-decode
// --stats reads it: the frames' times are those of the batches that completed them, in whole
// microseconds from the recording's first record (a plain capture: paced at plain_rate
// attitude frames a second), the commands the program sent are skipped.
//
// Only regular files are read (RecordingFile). Reading stops at damage; what came before it is
// kept and `damage` says where and why. A stop requested ends it early with `stopped` set.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>

#include "statistics/frame_log.h"

namespace zento {

struct RecordingFrames {
    std::shared_ptr<FrameLog> log; // null when the file could not be read at all
    std::string error;             // why not: "cannot open ...: ...", "... is not a recording"
    std::string damage;            // "" or where reading stopped and why
    bool plain = false;            // a plain byte capture, paced at plain_rate
    double length = 0;             // seconds from the first to the last batch
    bool stopped = false;
};

// `progress(fraction)` is told the share of the file read (0 to 1) as it goes.
RecordingFrames read_recording_frames(const std::filesystem::path& file, double plain_rate = 20.0,
                                      std::stop_token stop = {},
                                      const std::function<void(double)>& progress = {});

} // namespace zento
