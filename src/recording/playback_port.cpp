#include "recording/playback_port.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace zento {

PlaybackPort::PlaybackPort(std::filesystem::path file, ReaderOptions options, Clock clock)
    : path_(std::move(file)), options_(options), clock_(std::move(clock)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { wake(); });
}

PlaybackPort::~PlaybackPort() {
    close();
}

std::int64_t PlaybackPort::now() const {
    if (clock_) return clock_();
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t PlaybackPort::recorded_now() const {
    if (paused_ || speed_ == PlaybackSpeed::fastest) return anchor_rec_;
    return anchor_rec_ + (now() - anchor_clock_) * std::int64_t(speed_);
}

// Restarts the play clock from where it stands now (before a change of speed or pause).
void PlaybackPort::rebase() {
    const std::int64_t rec = std::clamp(recorded_now(), last_time_,
                                        have_next_ ? std::max(next_time_, last_time_) : last_time_);
    anchor_rec_ = speed_ == PlaybackSpeed::fastest ? last_time_ : rec;
    anchor_clock_ = now();
}

void PlaybackPort::setInBufferCount(std::int16_t count) {
    if (count == 0) input_.clear();
}

void PlaybackPort::setRThreshold(std::int16_t threshold) {
    rthreshold_ = threshold;
    if (threshold == 1 && open_ && !input_.empty()) schedule(0);
}

bool PlaybackPort::setSettings(const std::string& settings) {
    settings_ = settings;
    return true;
}

bool PlaybackPort::Output(std::span<const std::uint8_t>) {
    last_error_ = "a playback sends nothing: it is not a board";
    return false;
}

std::vector<std::uint8_t> PlaybackPort::Input() {
    std::vector<std::uint8_t> out;
    out.swap(input_);
    taken_time_ = input_time_;
    if (open_ && !in_comm_) schedule(0);
    return out;
}

bool PlaybackPort::setPortOpen(bool open) {
    if (!open) {
        close();
        return true;
    }
    if (open_) return true;
    std::string error;
    file_ = RecordingFile::open(path_, error, options_);
    if (!file_) {
        last_error_ = error;
        return false;
    }
    format_ = file_->reader().format();
    pcapng_ = file_->reader().pcapng();
    open_ = true;
    ended_ = false;
    paused_ = false;
    delivered_ = 0;
    damage_.clear();
    input_.clear();
    last_time_ = 0;
    times_ = {}; // the origin is the first record, whatever its direction or size
    next_jump_ = 0;
    read_ahead();
    anchor_rec_ = 0;
    anchor_clock_ = now();

    length_ns_ = -1;
    cancel_scan_ = false;
    scan_ = std::thread([this, path = path_, options = options_] {
        std::string ignored;
        const auto f = RecordingFile::open(path, ignored, options);
        if (!f) return;
        PlayTimes times;
        std::int64_t length = 0, jump = 0;
        while (!cancel_scan_.load(std::memory_order_relaxed)) {
            const auto b = f->reader().next();
            if (!b) break;
            length = std::max(length, times.next(b->time_ns, jump));
        }
        if (!cancel_scan_) length_ns_ = length;
    });
    schedule(0);
    return true;
}

void PlaybackPort::close() {
    timer_.stop();
    open_ = false;
    file_.reset();
    input_.clear();
    next_bytes_.clear();
    have_next_ = false;
    if (scan_.joinable()) {
        cancel_scan_ = true;
        scan_.join();
    }
}

void PlaybackPort::read_ahead() {
    have_next_ = false;
    for (;;) {
        const auto b = file_->reader().next();
        if (!b) {
            const ReaderStop& s = file_->reader().stop();
            if (s.damaged) damage_ = s.reason;
            return;
        }
        std::int64_t jump = 0;
        next_time_ = times_.next(b->time_ns, jump);
        if (jump != 0 && next_jump_ == 0) next_jump_at_ = b->offset;
        next_jump_ += jump; // a skipped record's goes with the next batch
        if (b->direction != Direction::received || b->bytes.empty()) continue;
        next_bytes_.assign(b->bytes.begin(), b->bytes.end());
        have_next_ = true;
        return;
    }
}

void PlaybackPort::schedule(std::int64_t wait_ns) {
    const std::int64_t ms = (std::max<std::int64_t>(wait_ns, 0) + 999'999) / 1'000'000;
    timer_.start(int(std::min<std::int64_t>(ms, std::numeric_limits<int>::max())));
}

void PlaybackPort::raise() {
    if (rthreshold_ != 1 || input_.empty() || in_comm_ || !OnComm) return;
    in_comm_ = true;
    OnComm();
    in_comm_ = false;
}

void PlaybackPort::wake() {
    if (!open_ || paused_ || ended_) return;
    if (!input_.empty()) { // the last batch is not taken yet
        raise();
        if (open_ && input_.empty()) schedule(0);
        return;
    }
    if (!have_next_) return finish();
    if (speed_ != PlaybackSpeed::fastest) {
        const std::int64_t rec = recorded_now();
        if (rec < next_time_) return schedule((next_time_ - rec) / std::int64_t(speed_));
    }
    input_.swap(next_bytes_);
    last_time_ = std::max(last_time_, next_time_);
    input_time_ = last_time_;
    ++delivered_;
    const std::int64_t jump = std::exchange(next_jump_, 0);
    const std::uint64_t jump_at = next_jump_at_;
    read_ahead();
    if (jump != 0 && OnGap) OnGap(jump, jump_at);
    if (!open_) return;
    raise();
    if (open_ && input_.empty()) schedule(0);
}

void PlaybackPort::finish() {
    ended_ = true;
    timer_.stop();
    const std::string damage = damage_;
    const auto on_end = OnEnd; // a callback may destroy the port
    if (!damage.empty() && OnDamage) OnDamage(damage);
    if (on_end) on_end();
}

void PlaybackPort::pause() {
    if (paused_) return;
    rebase();
    paused_ = true;
    timer_.stop();
}

void PlaybackPort::resume() {
    if (!paused_) return;
    paused_ = false;
    anchor_clock_ = now();
    if (open_) schedule(0);
}

void PlaybackPort::setSpeed(PlaybackSpeed speed) {
    if (speed == speed_) return;
    rebase();
    speed_ = speed;
    if (speed_ == PlaybackSpeed::fastest) anchor_rec_ = last_time_;
    if (open_ && !paused_) schedule(0);
}

std::chrono::nanoseconds PlaybackPort::position() const {
    std::int64_t rec = last_time_;
    if (open_ && !paused_ && !ended_ && speed_ != PlaybackSpeed::fastest)
        rec = std::clamp(recorded_now(), last_time_,
                         have_next_ ? std::max(next_time_, last_time_) : last_time_);
    else if (paused_)
        rec = std::max(anchor_rec_, last_time_);
    const auto length = this->length();
    return std::chrono::nanoseconds(length ? std::min<std::int64_t>(rec, length->count()) : rec);
}

std::optional<std::chrono::nanoseconds> PlaybackPort::length() const {
    const std::int64_t n = length_ns_.load();
    if (n < 0) return std::nullopt;
    return std::chrono::nanoseconds(std::max(n, last_time_)); // a file that grew plays on
}

void PlaybackPort::clockMoved() {
    if (open_ && !paused_ && !ended_) schedule(0);
}

} // namespace zento
