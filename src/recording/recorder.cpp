#include "recording/recorder.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace zento {
namespace {

// Queue entry: direction (1 byte), time in ns (8), length (4), the bytes.
constexpr std::size_t kEntryHead = 1 + 8 + 4;

std::int64_t ns_of(Recorder::Time t) {
    return t.time_since_epoch().count();
}

} // namespace

std::string recording_stem(std::chrono::system_clock::time_point t) {
    const std::time_t tt = std::chrono::system_clock::to_time_t(t);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &tt);
#else
    localtime_r(&tt, &local);
#endif
    char buf[64];
    const std::size_t n = std::strftime(buf, sizeof buf, "zento-%Y%m%d-%H%M%S", &local);
    return std::string(buf, n);
}

bool Recorder::make_folder(const std::filesystem::path& folder, std::string& error) {
    // Every call on the folder takes an error code: a symbolic-link loop or a folder on the way
    // that may not be searched is a reason, not an exception.
    std::error_code ec, status_ec;
    std::filesystem::create_directories(folder, ec);
    if (ec && !std::filesystem::is_directory(folder, status_ec)) {
        error = "cannot create the recording folder " + folder.string() + ": " + ec.message();
        return false;
    }
    ignore_file_size_signal(); // a file-size limit ends the recording as a full disk does
    return true;
}

WriteFile::Create Recorder::create_files(std::string& error) {
    std::string why;
    const WriteFile::Create p = pcap_.create_new(pcap_path_, why);
    if (p == WriteFile::Create::failed) error = "cannot create " + pcap_path_.string() + ": " + why;
    if (p != WriteFile::Create::made) return p;
    const WriteFile::Create c = csv_.create_new(csv_path_, why);
    if (c == WriteFile::Create::made) return c;
    pcap_.close(why);
    std::error_code ec;
    std::filesystem::remove(pcap_path_, ec); // ours, and still empty
    if (c == WriteFile::Create::failed) error = "cannot create " + csv_path_.string() + ": " + why;
    return c;
}

std::unique_ptr<Recorder> Recorder::start(const std::filesystem::path& folder, Time start,
                                          std::string& error, RecorderOptions options) {
    if (!make_folder(folder, error)) return nullptr;
    std::unique_ptr<Recorder> r(new Recorder);
    const std::string stem =
        recording_stem(std::chrono::time_point_cast<std::chrono::system_clock::duration>(start));
    for (int n = 1;; ++n) {
        if (n > 999) {
            error = "cannot create a recording in " + folder.string() + ": the names " + stem +
                    " to " + stem + "-999 are all taken";
            return nullptr;
        }
        const std::string name = n == 1 ? stem : stem + "-" + std::to_string(n);
        r->pcap_path_ = folder / (name + ".pcap");
        r->csv_path_ = folder / (name + ".csv");
        const WriteFile::Create c = r->create_files(error);
        if (c == WriteFile::Create::made) break;
        if (c == WriteFile::Create::failed) return nullptr;
    }
    r->begin(start, options);
    return r;
}

std::unique_ptr<Recorder> Recorder::start_file(const std::filesystem::path& pcap, Time start,
                                               std::string& error, RecorderOptions options) {
    const std::filesystem::path folder = pcap.parent_path();
    if (!folder.empty() && !make_folder(folder, error)) return nullptr;
    std::unique_ptr<Recorder> r(new Recorder);
    r->pcap_path_ = pcap;
    r->csv_path_ = std::filesystem::path(pcap).replace_extension(".csv");
    const WriteFile::Create c = r->create_files(error);
    if (c == WriteFile::Create::exists)
        error = "cannot create " + pcap.string() + " and " + r->csv_path_.filename().string() +
                ": " + (std::filesystem::exists(pcap) ? pcap : r->csv_path_).string() +
                " exists (a recording is never overwritten)";
    if (c != WriteFile::Create::made) return nullptr;
    r->begin(start, options);
    return r;
}

void Recorder::begin(Time start, RecorderOptions options) {
    options_ = options;
    options_.buffer_bytes = std::max<std::size_t>(options.buffer_bytes, 4096);
    kept_ = pcap_path_;
    start_ns_ = ns_of(start);
    wall_start_us_ = start_ns_ / 1000 - (start_ns_ % 1000 < 0); // rounded down
    last_ns_ = start_ns_;
    // Both buffers hold the whole budget from the start: taking a batch never allocates.
    queue_.reserve(options_.buffer_bytes);
    work_.reserve(options_.buffer_bytes);
    writer_ = std::thread([this] { run(); });
}

Recorder::~Recorder() {
    finish();
}

void Recorder::received(std::span<const std::uint8_t> bytes, Time t) {
    add(Direction::received, bytes, t);
}

void Recorder::sent(std::span<const std::uint8_t> bytes, Time t) {
    add(Direction::sent, bytes, t);
}

void Recorder::add(Direction d, std::span<const std::uint8_t> bytes, Time t) {
    if (bytes.empty()) return;
    const std::int64_t ns = ns_of(t);
    const std::size_t size = kEntryHead + bytes.size();
    std::lock_guard lock(m_);
    if (state_ != RecorderState::recording) return;
    if (queue_.size() + size > options_.buffer_bytes) {
        fail_locked("cannot write " + pcap_path_.string() + ": the disk does not keep up (" +
                        std::to_string(queue_.size()) + " bytes wait to be written and " +
                        std::to_string(bytes.size()) + " more arrived); the recording stops here",
                    ns);
        return;
    }
    const std::size_t at = queue_.size();
    queue_.resize(at + size); // within the reserved capacity
    std::uint8_t* p = queue_.data() + at;
    p[0] = std::uint8_t(d);
    std::memcpy(p + 1, &ns, 8);
    const auto len = std::uint32_t(bytes.size());
    std::memcpy(p + 9, &len, 4);
    std::memcpy(p + kEntryHead, bytes.data(), bytes.size());
    // The writer wakes on its own every flush period; only a large backlog calls it early.
    const std::size_t early = options_.buffer_bytes / 4;
    if (at < early && queue_.size() >= early) wake_.notify_one();
}

void Recorder::gap() {
    std::lock_guard lock(m_);
    in_gap_ = true;
}

void Recorder::resume() {
    std::lock_guard lock(m_);
    in_gap_ = false;
}

void Recorder::fail_locked(std::string why, std::int64_t at_ns) {
    if (failure_.empty()) failure_ = std::move(why);
    if (!ended_) {
        ended_ = true;
        end_ns_ = at_ns;
    }
    if (state_ == RecorderState::recording) state_ = RecorderState::stopping;
    stop_requested_ = true;
    wake_.notify_one();
}

void Recorder::stop(Time t) {
    std::lock_guard lock(m_);
    if (!ended_) {
        ended_ = true;
        end_ns_ = std::max(ns_of(t), start_ns_);
    }
    if (state_ == RecorderState::recording) state_ = RecorderState::stopping;
    stop_requested_ = true;
    wake_.notify_one();
}

void Recorder::finish() {
    stop();
    if (writer_.joinable()) writer_.join();
}

RecorderStatus Recorder::status(Time at) const {
    RecorderStatus s;
    std::lock_guard lock(m_);
    s.state = state_;
    s.in_gap = in_gap_;
    const std::int64_t end = ended_ ? end_ns_ : ns_of(at);
    s.elapsed = std::chrono::nanoseconds(std::max<std::int64_t>(end - start_ns_, 0));
    s.pcap_bytes = pcap_bytes_.load(std::memory_order_relaxed);
    s.csv_bytes = csv_bytes_.load(std::memory_order_relaxed);
    s.waiting_bytes = queue_.size();
    s.failure = failure_;
    s.kept = kept_;
    return s;
}

// --- the writer thread ---

void Recorder::run() {
    // The heads and the start record: the start of the recording, time 0 of the CSV.
    append_pcap_header(pcap_buf_);
    append_pcap_records(pcap_buf_, wall_start_us_, Direction::received, {});
    csv_buf_.assign(kCsvHeader);
    pcap_ends_.push_back(pcap_buf_.size());
    csv_ends_.push_back(csv_buf_.size());
    std::string why;
    bool ok = write_out(why);

    std::unique_lock lock(m_);
    auto next_sync = std::chrono::steady_clock::now();
    while (ok) {
        const std::size_t early = options_.buffer_bytes / 4;
        wake_.wait_until(lock, next_sync,
                         [&] { return stop_requested_ || queue_.size() >= early; });
        const bool stopping = stop_requested_;
        std::swap(queue_, work_);
        lock.unlock();
        ok = encode_and_write(work_);
        work_.clear();
        const auto now = std::chrono::steady_clock::now();
        if (ok && (stopping || now >= next_sync)) {
            // Only what changed is synced: an idle recording does not wake the disk.
            if (pcap_size_ + csv_size_ != synced_) {
                for (auto [file, path] : {std::pair{&pcap_, &pcap_path_}, {&csv_, &csv_path_}}) {
                    std::string e;
                    if (ok && !file->sync(e)) {
                        why = "cannot write " + path->string() + ": " + e;
                        ok = false;
                    }
                }
                synced_ = pcap_size_ + csv_size_;
            }
            if (ok && !in_place(why)) {
                ok = false;
                // Moved, not deleted: the files are still ours wherever they are now, so what
                // was taken before the move was noticed is written there; nothing after.
                lock.lock();
                const bool moved = !kept_.empty();
                fail_locked(why, link_clock_ns());
                if (moved) std::swap(queue_, work_);
                lock.unlock();
                if (moved) encode_and_write(work_);
                work_.clear();
            }
            next_sync = now + options_.flush_period;
        }
        lock.lock();
        if (stopping) break;
        if (!ok && why.empty()) why = failure_;
    }
    if (!ok) fail_locked(why, link_clock_ns());
    queue_.clear();
    lock.unlock();

    for (auto [file, path] : {std::pair{&pcap_, &pcap_path_}, {&csv_, &csv_path_}}) {
        std::string e;
        if (!file->close(e) && ok) {
            ok = false;
            lock.lock();
            fail_locked("cannot write " + path->string() + ": " + e, link_clock_ns());
            lock.unlock();
        }
    }
    if (pcap_size_ == 0) { // not even the heads: no empty, unreadable files stay
        std::error_code pe, ce;
        std::filesystem::remove(pcap_path_, pe);
        std::filesystem::remove(csv_path_, ce);
        lock.lock();
        kept_.clear();
        failure_ += pe || ce ? "; the empty files could not be removed: " + (pe ? pe : ce).message()
                             : "; nothing was written, so both files are removed";
        lock.unlock();
    }
    lock.lock();
    state_ = RecorderState::finished;
}

bool Recorder::encode_and_write(const std::vector<std::uint8_t>& entries) {
    pcap_buf_.clear();
    csv_buf_.clear();
    pcap_ends_.clear();
    csv_ends_.clear();
    for (std::size_t at = 0; at < entries.size();) {
        const std::uint8_t* p = entries.data() + at;
        std::int64_t ns = 0;
        std::uint32_t len = 0;
        std::memcpy(&ns, p + 1, 8);
        std::memcpy(&len, p + 9, 4);
        const std::span<const std::uint8_t> bytes(p + kEntryHead, len);
        at += kEntryHead + len;
        // Never before the start nor before the previous batch.
        last_ns_ = std::max(last_ns_, ns);
        const std::int64_t us = (last_ns_ - start_ns_) / 1000;
        const auto d = Direction(p[0]);
        append_pcap_records(pcap_buf_, wall_start_us_ + us, d, bytes);
        rows_.record(d, bytes, us, csv_buf_); // frames, gaps and commands
        pcap_ends_.push_back(pcap_buf_.size());
        csv_ends_.push_back(csv_buf_.size());
    }
    if (pcap_ends_.empty()) return true;
    std::string why;
    if (write_out(why)) return true;
    std::lock_guard lock(m_);
    fail_locked(why, link_clock_ns());
    return false;
}

// Whether both files are still where they were made; if not, `why` says what happened and the
// status where the recording is now.
bool Recorder::in_place(std::string& why) {
    std::filesystem::path pcap_now, csv_now;
    const WriteFile::Place p = pcap_.place(pcap_path_, pcap_now);
    const WriteFile::Place c = csv_.place(csv_path_, csv_now);
    if (p == WriteFile::Place::here && c == WriteFile::Place::here) return true;
    const bool pcap_gone = p != WriteFile::Place::here;
    const std::filesystem::path& path = pcap_gone ? pcap_path_ : csv_path_;
    const std::filesystem::path& now = pcap_gone ? pcap_now : csv_now;
    if ((pcap_gone ? p : c) == WriteFile::Place::deleted)
        why = path.string() + " was deleted while recording";
    else if (now.empty())
        why = path.string() + " was moved while recording";
    else
        why = path.string() + " was moved to " + now.string() + " while recording";
    std::lock_guard lock(m_);
    kept_ = c == WriteFile::Place::deleted ? std::filesystem::path()
            : pcap_gone                    ? pcap_now
                                           : pcap_path_;
    return false;
}

// Writes the buffers of whole batches. On a failure both files are cut back to the batches that
// reached both whole, and `why` names the file and the reason.
bool Recorder::write_out(std::string& why) {
    const std::size_t batches = pcap_ends_.size();
    // Batches whole within the first `written` bytes of a buffer with these ends.
    auto whole = [&](const std::vector<std::size_t>& ends, std::size_t written) {
        std::size_t k = 0;
        while (k < batches && ends[k] <= written)
            ++k;
        return k;
    };
    std::string e;
    std::size_t pw = 0, cw = 0;
    std::size_t keep = batches;
    if (!pcap_.write_all(pcap_buf_, pw, e)) {
        why = "cannot write " + pcap_path_.string() + ": " + e;
        keep = whole(pcap_ends_, pw);
    }
    // The CSV gets the rows of the batches that the pcap holds.
    const std::size_t csv_want = keep ? csv_ends_[keep - 1] : 0;
    const auto* csv_bytes = reinterpret_cast<const std::uint8_t*>(csv_buf_.data());
    if (!csv_.write_all(std::span(csv_bytes, csv_want), cw, e)) {
        if (why.empty()) why = "cannot write " + csv_path_.string() + ": " + e;
        keep = std::min(keep, whole(csv_ends_, cw));
    }
    const bool ok = keep == batches && why.empty();
    const std::size_t keep_p = keep ? pcap_ends_[keep - 1] : 0;
    const std::size_t keep_c = keep ? csv_ends_[keep - 1] : 0;
    pcap_size_ += keep_p;
    csv_size_ += keep_c;
    if (!ok && (pw != keep_p || cw != keep_c)) {
        for (auto [file, path, size] :
             {std::tuple{&pcap_, &pcap_path_, pcap_size_}, {&csv_, &csv_path_, csv_size_}}) {
            std::string te;
            if (!file->truncate(size, te))
                why += "; cannot cut " + path->string() + " back to its last whole batch: " + te;
        }
    }
    pcap_bytes_.store(pcap_size_, std::memory_order_relaxed);
    csv_bytes_.store(csv_size_, std::memory_order_relaxed);
    return ok;
}

} // namespace zento
