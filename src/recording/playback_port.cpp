#include "recording/playback_port.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace zento {

PlaybackSpeed playback_speed(double factor) {
    for (const PlaybackSpeed s :
         {PlaybackSpeed::quarter, PlaybackSpeed::half, PlaybackSpeed::x1, PlaybackSpeed::x2,
          PlaybackSpeed::x5, PlaybackSpeed::x10, PlaybackSpeed::fastest})
        if (double(int(s)) == factor * 100) return s;
    return PlaybackSpeed::x1;
}

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
    return anchor_rec_ + (now() - anchor_clock_) * std::int64_t(speed_) / 100;
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
    index_ = std::make_unique<RecordingIndex>(path_, options_);
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
    index_.reset();
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
        if (b->bytes.empty()) continue;
        next_direction_ = b->direction;
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
        if (rec < next_time_) return schedule((next_time_ - rec) * 100 / std::int64_t(speed_));
    }
    if (next_direction_ == Direction::sent) { // a command: said, and on to the next record
        take_next([this](Direction, std::span<const std::uint8_t> frame, std::int64_t t) {
            if (OnCommand) OnCommand(frame, t);
        });
        if (open_) schedule(0);
        return;
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
    const auto n = index_ ? index_->length() : std::nullopt;
    if (!n) return std::nullopt;
    return std::chrono::nanoseconds(std::max(*n, last_time_)); // a file that grew plays on
}

std::chrono::nanoseconds PlaybackPort::seekable() const {
    if (const auto n = length()) return *n;
    return std::chrono::nanoseconds(std::max(index_ ? index_->indexed() : 0, last_time_));
}

std::optional<std::int64_t> PlaybackPort::nextBatchTime() const {
    return have_next_ ? std::optional(next_time_) : std::nullopt;
}

// Hands the next record to `preroll` and reads the one after.
void PlaybackPort::take_next(const Preroll& preroll) {
    last_time_ = std::max(last_time_, next_time_);
    const Direction d = next_direction_;
    std::vector<std::uint8_t> bytes;
    bytes.swap(next_bytes_);
    read_ahead();
    preroll(d, bytes, times_.origin() + last_time_);
}

void PlaybackPort::advance(std::chrono::nanoseconds target, const Preroll& preroll) {
    if (!open_ || target.count() <= last_time_) return;
    timer_.stop();
    while (have_next_ && next_time_ <= target.count())
        take_next(preroll);
    next_jump_ = 0; // a jump on the way is not named
    last_time_ = anchor_rec_ = target.count();
    anchor_clock_ = now();
    if (!paused_) schedule(0);
}

void PlaybackPort::seek(std::chrono::nanoseconds target, std::chrono::nanoseconds from,
                        const Preroll& preroll) {
    if (!open_) return;
    const std::int64_t to = std::clamp<std::int64_t>(target.count(), 0, seekable().count());
    timer_.stop();
    input_.clear();
    ended_ = false;
    damage_.clear();
    const auto entry = index_->before(std::clamp<std::int64_t>(from.count(), 0, to));
    if (entry && file_->reader().seek(entry->mark)) {
        times_ = entry->times;
    } else { // nothing indexed before it yet: from the start
        std::string error;
        auto again = RecordingFile::open(path_, error, options_);
        if (!again) {
            damage_ = error;
            have_next_ = false;
            last_time_ = anchor_rec_ = to;
            if (!paused_) schedule(0);
            return;
        }
        file_ = std::move(again);
        times_ = {};
    }
    last_time_ = 0;
    read_ahead();
    while (have_next_ && next_time_ <= to)
        take_next(preroll);
    next_jump_ = 0;
    last_time_ = anchor_rec_ = to;
    anchor_clock_ = now();
    if (!paused_) schedule(0);
}

void PlaybackPort::clockMoved() {
    if (open_ && !paused_ && !ended_) schedule(0);
}

} // namespace zento
