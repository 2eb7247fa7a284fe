#pragma once
// A recording played back through the serial port interface, so that it reaches the receiver
// exactly as a port's bytes do: OnComm with CommEvent 2, and Input() returns the batch.
//
//  - setPortOpen(true) opens the recording (RecordingFile: pcap or plain capture; a file that is
//    not a recording, a FIFO or a folder is refused with lastError()) and starts playing from
//    its start; setPortOpen(false) stops playing (no OnEnd).
//  - Batches of direction 0 are delivered one per wake of the event loop, each when its
//    recorded time (since the recording's first record, a jump of more than a minute either way
//    taken out as a gap: PlayTimes) comes on the play clock: the steady clock times the speed,
//    standing still while paused. OnGap names such a jump as its batch is delivered. At "as fast as
//    possible" every batch is due at once, and the event loop still runs between two batches, so
//    the window stays responsive. Records of direction 1 (commands sent) go to OnCommand when
//    their time comes; empty records are skipped.
//  - seek() moves the play position anywhere in what is indexed so far: the recording's index
//    (recording_index.h) is built on a thread of its own from the moment it opens, and gives
//    length() once the whole file is read. advance() reads on to a later position at once.
//  - A batch waits while the previous one has not been taken (RThreshold 0); nothing is dropped.
//  - At the end OnEnd is called; at damage OnDamage (where and why: "truncated record at byte
//    N (...)") comes first, after every batch before the damage was delivered.
//  - Output() sends nothing and returns false: a playback is not a board.
//  - length() is empty until the index has read the whole file (a large file takes a moment),
//    and grows with what plays of a file that grows meanwhile. Nothing is called back from the
//    index's thread. position() never passes length().
// All calls, the callbacks and OnComm happen on the thread that owns the port (the event loop's).
#include "platform/serial/serial_port.h"
#include "recording/recording_index.h"
#include "recording/recording_reader.h"

#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zento {

// Percent of real time; 0: as fast as possible.
enum class PlaybackSpeed {
    quarter = 25,
    half = 50,
    x1 = 100,
    x2 = 200,
    x5 = 500,
    x10 = 1000,
    fastest = 0
};
// The speed of a factor (0.25, 0.5, 1, 2, 5, 10; 0: as fast as possible); 1x for any other.
PlaybackSpeed playback_speed(double factor);

class PlaybackPort final : public SerialPort {
  public:
    // Monotonic nanoseconds; the default is the steady clock. A test clock calls clockMoved()
    // after moving.
    using Clock = std::function<std::int64_t()>;

    explicit PlaybackPort(std::filesystem::path file, ReaderOptions options = {}, Clock clock = {});
    ~PlaybackPort() override;
    PlaybackPort(const PlaybackPort&) = delete;
    PlaybackPort& operator=(const PlaybackPort&) = delete;

    // --- SerialPort ---
    void setInputLen(std::int16_t) override {}
    void setInputMode(std::int32_t) override {}
    void setInBufferCount(std::int16_t count) override;
    void setOutBufferCount(std::int16_t) override {}
    void setRThreshold(std::int16_t threshold) override;
    std::int16_t RThreshold() const override { return rthreshold_; }
    void setCommPort(std::int16_t) override {}
    std::int16_t CommPort() const override { return 0; }
    bool setSettings(const std::string& settings) override;
    std::string Settings() const override { return settings_; }
    bool PortOpen() const override { return open_; }
    bool setPortOpen(bool open) override;
    std::string lastError() const override { return last_error_; }
    bool Output(std::span<const std::uint8_t> bytes) override;
    std::vector<std::uint8_t> Input() override;
    // The record's time: origin() + its play time (its time since the first record, jumps
    // taken out), so that the times a source gives never jump.
    std::int64_t InputTime() const override { return times_.origin() + taken_time_; }
    // The play clock: origin() + position().
    std::int64_t TimeNow() const override { return times_.origin() + position().count(); }
    int CommEvent() const override { return kCommEventReceive; }

    // --- playback ---
    void pause();
    void resume();
    bool paused() const { return paused_; }
    void setSpeed(PlaybackSpeed speed);
    PlaybackSpeed speed() const { return speed_; }
    // Recorded time of the play clock since the recording's start (within the batch delivered
    // last and the next one).
    std::chrono::nanoseconds position() const;
    // Recorded time of the last record (up to any damage); empty until known.
    std::optional<std::chrono::nanoseconds> length() const;
    // How far the recording can be sought now: its length once known, else what the index has
    // read so far (at least the position).
    std::chrono::nanoseconds seekable() const;

    // A record read on the way to a position: its direction, bytes and time (as InputTime()
    // gives a batch's).
    using Preroll = std::function<void(Direction, std::span<const std::uint8_t>, std::int64_t)>;
    // Moves the play position to `target` (within seekable()), playing on from there, or staying
    // paused. The records from the index's place at or before `from` up to the target are first
    // handed to `preroll` in order, at once (so that a receive path can show the state at the
    // target); what plays next is the first record after the target. A seek past the last
    // record ends the playback when it plays on.
    void seek(std::chrono::nanoseconds target, std::chrono::nanoseconds from,
              const Preroll& preroll);
    // Moves the play position forward to `target`, handing every record up to it to `preroll`
    // (reading on, no seek; a target not after the position changes nothing).
    void advance(std::chrono::nanoseconds target, const Preroll& preroll);
    // The times of the batch delivered last and of the next one (to step one batch).
    std::int64_t lastBatchTime() const { return last_time_; }
    std::optional<std::int64_t> nextBatchTime() const;
    // The time of the recording's first record (its start), once open.
    std::int64_t origin() const { return times_.origin(); }
    bool ended() const { return ended_; }
    std::uint64_t delivered() const { return delivered_; } // batches handed over so far
    const std::filesystem::path& file() const { return path_; }
    RecordingFormat format() const { return format_; }
    bool pcapng() const { return pcapng_; }

    void clockMoved();

    std::function<void()> OnEnd;
    std::function<void(const std::string& where_why)> OnDamage;
    // A command the program sent (a record of direction 1), with its time.
    std::function<void(std::span<const std::uint8_t> frame, std::int64_t time_ns)> OnCommand;
    // A jump of the recording's time taken out as a gap (ns; negative: back), at byte `offset`.
    std::function<void(std::int64_t jump_ns, std::uint64_t offset)> OnGap;

  private:
    std::int64_t now() const;
    std::int64_t recorded_now() const;
    void rebase();
    void close();
    void wake();
    void read_ahead();
    void raise();
    void schedule(std::int64_t wait_ns);
    void finish();
    void take_next(const Preroll& preroll);

    std::filesystem::path path_;
    ReaderOptions options_;
    Clock clock_;
    QTimer timer_;

    std::unique_ptr<RecordingFile> file_;
    RecordingFormat format_ = RecordingFormat::plain;
    bool pcapng_ = false;
    bool open_ = false, paused_ = false, ended_ = false, in_comm_ = false;
    std::int16_t rthreshold_ = 0;
    std::string settings_ = "playback";
    std::string last_error_;
    PlaybackSpeed speed_ = PlaybackSpeed::x1;

    PlayTimes times_;
    bool have_next_ = false;
    std::int64_t next_time_ = 0; // play time of the next batch
    Direction next_direction_ = Direction::received;
    std::int64_t next_jump_ = 0; // a jump taken out before it, at next_jump_at_
    std::uint64_t next_jump_at_ = 0;
    std::vector<std::uint8_t> next_bytes_, input_;
    std::int64_t input_time_ = 0, taken_time_ = 0; // of input_, and of the batch taken last
    std::int64_t last_time_ = 0;  // recorded time of the batch delivered last
    std::int64_t anchor_rec_ = 0; // the play clock: recorded time anchor_rec_ at anchor_clock_
    std::int64_t anchor_clock_ = 0;
    std::uint64_t delivered_ = 0;
    std::string damage_;

    std::unique_ptr<RecordingIndex> index_;
};

} // namespace zento
