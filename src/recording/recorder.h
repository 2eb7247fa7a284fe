#pragma once
// A recording: what the port delivers and what the program sends, kept in two files of one
// name, zento-YYYYMMDD-HHMMSS.pcap (pcap_format.h) and .csv (recording_csv.h).
//
// Threads. Every call comes from one thread, the caller's (the user-interface thread), and none
// of them waits for the disk: received() and sent() copy the bytes into a bounded buffer, and a
// writer thread of the recorder turns them into pcap records and CSV rows and writes them. It
// writes and makes the files durable (flush and fdatasync) every flush_period (half a second),
// so a crash or a power cut costs at most the last second. The writer never calls back: the
// caller polls status(), e.g. from a timer.
//
// Failures. A write that fails (a full disk, a file-size limit, a folder or device that became
// unwritable) ends the recording: both files are cut back to the last batch that reached both
// whole, so they stay a readable pcap and CSV that agree, and status().failure names the file and
// the system's reason. When not even the heads reached the files, both are removed instead of
// left empty (an empty pcap is not a pcap). A buffer that fills (the disk does not keep up for a
// long time) ends the recording the same way, with that reason, rather than waiting or growing.
// start() has the program ignore SIGXFSZ (file_io.h), so that a file-size limit is such a failed
// write and not the end of the program.
//
// A folder deleted or moved while recording (noticed at the next flush: the files' link count,
// and whether their paths still name them) ends it too, the failure saying what happened and
// where the files are now, when the system tells.
//
// Times are the receive path's (link/link_time.h: nanoseconds since 1970 on a clock that a
// change of the system time does not bend); the recorder reads no clock of its own. The pcap
// gets each batch's time as it is, in microseconds; time_s in the CSV is the same microseconds
// since the start, so the CSV equals `zento-decode --csv` of the pcap. The pcap's first record
// (no payload) marks the start.
//
// An unplug is a gap: gap() when the port is lost, resume() when it is open again. Nothing
// arrives meanwhile, so the files have no records and no rows there; the receiver that makes
// the rows goes on across the gap as zento-decode's does over the pcap, and the first batch
// after more than a second without bytes gets a gap row before its own (recording_csv.h).
#include "link/link_time.h"
#include "recording/file_io.h"
#include "recording/pcap_format.h"
#include "recording/recording_csv.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace zento {

struct RecorderOptions {
    std::size_t buffer_bytes = std::size_t(4) << 20; // most bytes waiting for the writer
    std::chrono::milliseconds flush_period{500};     // write and sync at least this often
};

enum class RecorderState {
    recording, // taking batches
    stopping,  // stop() was called; the writer writes what waits and closes the files
    finished,  // the files are closed (stopped, or ended by a failure)
};

struct RecorderStatus {
    RecorderState state = RecorderState::recording;
    bool in_gap = false;                // between gap() and resume()
    std::chrono::nanoseconds elapsed{}; // since the start; stands still once stopped or failed
    std::uint64_t pcap_bytes = 0;       // bytes in the files so far
    std::uint64_t csv_bytes = 0;
    std::uint64_t waiting_bytes = 0; // taken, not yet written
    std::string failure;             // why it ended by itself, naming the file; "" otherwise
    // Where the recording is kept: pcap_path() (the CSV beside it), its new place when its
    // folder was moved, or empty when nothing is kept (a disk full from the start: the files
    // that would hold nothing are removed; deleted while recording; moved to a place unknown).
    std::filesystem::path kept;
};

// The name of a recording started at `t` (local time): zento-20261206-231500.
std::string recording_stem(std::chrono::system_clock::time_point t);

class Recorder {
  public:
    // A link time (link/link_time.h).
    using Time = std::chrono::sys_time<std::chrono::nanoseconds>;
    static Time now() { return Time(std::chrono::nanoseconds(link_clock_ns())); }

    // Makes `folder` if needed and creates the two files there, named from `start` (local
    // time); a name in use (either file) is never overwritten: "-2", "-3", ... is added. On
    // failure returns nullptr and `error` names the folder or file and the reason.
    static std::unique_ptr<Recorder> start(const std::filesystem::path& folder, Time start,
                                           std::string& error, RecorderOptions options = {});
    // The same into files named by the caller (a tool's --out): `pcap` and the CSV beside it,
    // `pcap` with the extension .csv; neither may exist yet (nothing is overwritten). The
    // folder is made if needed.
    static std::unique_ptr<Recorder> start_file(const std::filesystem::path& pcap, Time start,
                                                std::string& error, RecorderOptions options = {});
    // Stops (as finish()) if still running.
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    const std::filesystem::path& pcap_path() const { return pcap_path_; }
    const std::filesystem::path& csv_path() const { return csv_path_; }

    // A batch as the port delivered it, received at `t` (times before the start, or before the
    // previous batch, count as that time). Ignored once the recording is not running.
    void received(std::span<const std::uint8_t> bytes, Time t);
    // Bytes the program wrote to the port (a command).
    void sent(std::span<const std::uint8_t> bytes, Time t);
    void gap();
    void resume();

    // Ends the recording: the writer writes what waits, syncs and closes the files. Returns at
    // once; status().state becomes finished when the files are closed.
    void stop(Time t = now());
    // stop(), then waits for the writer (tools and tests; never on the user-interface thread).
    void finish();

    RecorderStatus status(Time at = now()) const;

  private:
    Recorder() = default;
    static bool make_folder(const std::filesystem::path& folder, std::string& error);
    // Creates both files at pcap_path_ and csv_path_: made, exists (either; nothing is left
    // behind) or failed (`error` says which and why).
    WriteFile::Create create_files(std::string& error);
    void begin(Time start, RecorderOptions options);
    void add(Direction d, std::span<const std::uint8_t> bytes, Time t);
    void fail_locked(std::string why, std::int64_t at_ns);
    void run();
    bool encode_and_write(const std::vector<std::uint8_t>& entries);
    bool write_out(std::string& why);
    bool in_place(std::string& why);

    std::filesystem::path pcap_path_, csv_path_;
    std::int64_t wall_start_us_ = 0;
    std::int64_t start_ns_ = 0;
    RecorderOptions options_;

    // Shared with the writer, under m_.
    mutable std::mutex m_;
    std::condition_variable wake_;
    std::vector<std::uint8_t> queue_; // entries: direction, time (ns), length, bytes
    RecorderState state_ = RecorderState::recording;
    bool stop_requested_ = false;
    bool in_gap_ = false;
    std::int64_t end_ns_ = 0; // time of the end, once there is one
    bool ended_ = false;
    std::string failure_;
    std::filesystem::path kept_;
    std::atomic<std::uint64_t> pcap_bytes_{0}, csv_bytes_{0};

    // The writer's own.
    std::vector<std::uint8_t> work_;
    std::vector<std::uint8_t> pcap_buf_;
    std::string csv_buf_;
    std::vector<std::size_t> pcap_ends_, csv_ends_; // buffer sizes after each batch
    std::int64_t last_ns_ = 0;
    CsvRows rows_;
    WriteFile pcap_, csv_;
    std::uint64_t pcap_size_ = 0, csv_size_ = 0;
    std::uint64_t synced_ = 0; // pcap_size_ + csv_size_ at the last sync

    std::thread writer_;
};

} // namespace zento
