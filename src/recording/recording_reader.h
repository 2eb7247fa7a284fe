#pragma once
// Reads a recording as the batches of bytes it holds, in bounded memory (one block of the file
// and one record at a time, never the whole file).
//
// Three kinds of file:
//  - classic pcap (see pcap_format.h) of link type 147 with the direction byte: either byte
//    order, microsecond or nanosecond timestamps. Every record is one batch, with its time and
//    direction (records of direction 1, the bytes the program sent, are returned too: players
//    skip them). A record longer than the file's snaplen (at most kPcapReadLimit), one that runs
//    past the end of the file, one without a direction byte or with a direction other than 0 or
//    1, or a timestamp fraction out of range is damage: reading stops there and stop() says
//    where and why.
//  - pcapng, as Wireshark, tshark, editcap and mergecap write a recording they were given:
//    blocks of type, length, body, length again, in the byte order of their section (either).
//    Section headers (one or several sections), interface descriptions (link type, snaplen,
//    if_tsresol: 10^-n or 2^-n seconds, microseconds by default; if_tsoffset), enhanced packet
//    blocks (one batch each, times in their interface's resolution) and simple packet blocks
//    (interface 0; they carry no time: the time of the packet before) are read; blocks of other
//    kinds (name resolution, statistics, comments of their own, ...) are skipped by their length,
//    without holding them in memory. Every interface must be of link type 147: one described
//    before the first packet of another type refuses the file, one met later stops reading there,
//    saying where (an interface's packets cannot be told apart from another's in the stream).
//    Damage is as for classic pcap, and also: a block whose length is not a multiple of 4 of at
//    least 12, whose two lengths differ, or that runs past the end of the file; a packet longer
//    than its block or naming an interface the section does not describe; a time beyond 2262.
//    Anything wrong before the first packet refuses the file (nothing could be played).
//  - anything else is a plain byte capture as `zento-board --out` writes it, paced as the board
//    sends: the project's receiver finds the attitude frames, batch j runs from the start of
//    attitude frame j to the start of the next (bytes before the first go with batch 0), and its
//    time is j / plain_rate seconds. A batch never exceeds kPlainBatchMax bytes (a long stretch
//    without an attitude frame is cut there, keeping its time).
//
// pcapng is read by this reader rather than libpcap: libpcap names no offset for damage and
// refuses a file whose interfaces differ in link type without saying which, and this reader is
// fuzzed with the rest of the recording path (fuzz/fuzz_recording.cpp).
#include "recording/file_io.h"
#include "recording/pcap_format.h"

#include "link/receiver.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace zento {

// pcap: records with times (classic pcap or pcapng, see pcapng()); plain: a byte capture.
enum class RecordingFormat { pcap, plain };

inline constexpr std::size_t kPlainBatchMax = kPcapMaxPayload;
// Most interfaces a pcapng section may describe (what the reader keeps of each is small).
inline constexpr std::size_t kMaxInterfaces = 65536;

struct ReaderOptions {
    double plain_rate = 20.0; // plain capture: attitude frames per second
    // false: a plain capture comes in blocks as read, all at time 0, without looking for frames
    // (for a consumer that needs no times).
    bool plain_paced = true;
};

struct Batch {
    std::int64_t time_ns = 0; // pcap: since 1970; plain: j / plain_rate
    Direction direction = Direction::received;
    std::uint64_t offset = 0;            // where its record (plain: its first byte) starts
    std::span<const std::uint8_t> bytes; // valid until the next call of next()
};

// pcapng: what the reader keeps of an interface description.
struct PcapngInterface {
    std::uint32_t snaplen = 0, limit = 0;
    std::uint8_t tsresol = 6;
    std::int64_t tsoffset = 0; // seconds
};

// Where a batch starts and the reader's state there: enough to read the file again from that
// batch on (RecordingReader::seek), as a recording's index keeps it (recording_index.h).
struct ReaderMark {
    std::uint64_t offset = 0; // the batch's record (plain: its first byte)
    std::int64_t last_ns = 0; // pcapng: the time of the packet before it (a simple packet's)
    std::uint64_t index = 0;  // plain: the attitude frame the batch begins with
    bool swapped = false;     // pcapng: its section's byte order
    std::shared_ptr<const std::vector<PcapngInterface>> interfaces; // pcapng: its section's
};

// Why reading ended.
struct ReaderStop {
    bool damaged = false;     // false: the end of the file
    std::uint64_t offset = 0; // where reading stopped
    std::string reason;       // damage: "truncated record at byte 1234 (...)", "cannot read: ..."
    std::string read_error;   // when reading itself failed: the system's reason
};

class RecordingReader {
  public:
    explicit RecordingReader(ByteSource& source, ReaderOptions options = {});
    ~RecordingReader();
    RecordingReader(const RecordingReader&) = delete;
    RecordingReader& operator=(const RecordingReader&) = delete;

    // Reads the head (once; next() calls it if needed). False when it starts like a pcap or
    // pcapng file that this reader cannot take (another link type or version, a truncated
    // header, damage before the first packet): refusal() says which.
    bool start();
    const std::string& refusal() const { return refusal_; }
    RecordingFormat format() const { return format_; }
    bool pcapng() const { return pcapng_; }
    bool nanoseconds() const { return nano_; } // classic pcap
    bool swapped() const { return swapped_; }  // the file (pcapng: the section) is big-endian
    std::uint32_t snaplen() const { return snaplen_; } // classic pcap

    // The next batch, or nothing at the end or at damage (then stop() says which).
    std::optional<Batch> next();
    const ReaderStop& stop() const { return stop_; }

    // Where the batch next() returned last starts; nothing when the file cannot be read from
    // there as it was (a plain capture's batch cut inside a stretch without attitude frames, or
    // one not paced).
    std::optional<ReaderMark> mark() const;
    // Reads on from a mark of this file: next() returns its batch, and then those after it, as
    // reading from the start did. False (the reader unchanged) when the source cannot seek.
    bool seek(const ReaderMark& mark);

  private:
    struct Cuts;
    bool fill(std::size_t want);
    std::size_t take(std::uint8_t* into, std::size_t n);
    std::optional<Batch> next_pcap();
    std::optional<Batch> next_plain();
    std::optional<Batch> emit_plain(std::size_t n);
    std::optional<Batch> damage(std::uint64_t at, std::string why);
    std::uint32_t u32(const std::uint8_t* p) const;
    std::uint16_t u16(const std::uint8_t* p) const;

    // pcapng
    enum class Step { batch, block, end, stop };
    using Interface = PcapngInterface;
    bool start_pcapng();
    std::optional<Batch> next_pcapng();
    Step pcapng_block(Batch& batch);
    Step section_header(std::uint64_t at, std::uint8_t* h);
    Step interface_description(std::uint64_t at, std::uint32_t total);
    Step packet(std::uint64_t at, std::uint32_t type, std::uint32_t total, Batch& batch);
    Step block_end(std::uint64_t at, std::uint32_t total);
    Step truncated(std::uint64_t at, std::uint32_t total);
    Step fail(std::uint64_t at, std::string why);
    std::uint64_t skip(std::uint64_t n);

    ByteSource& source_;
    ReaderOptions options_;
    std::vector<std::uint8_t> block_;
    std::size_t pos_ = 0, len_ = 0;
    std::uint64_t consumed_ = 0; // bytes of the file before block_[pos_]
    bool source_done_ = false;
    std::string read_error_;

    RecordingFormat format_ = RecordingFormat::plain;
    bool started_ = false, nano_ = false, swapped_ = false, ended_ = false;
    std::uint32_t snaplen_ = 0, limit_ = 0;
    std::string refusal_;
    ReaderStop stop_;
    std::vector<std::uint8_t> record_;

    // pcapng: the current section's interfaces (shared with marks once one asks); the time of
    // the last packet.
    bool pcapng_ = false;
    std::vector<Interface> interfaces_;
    mutable std::shared_ptr<const std::vector<Interface>> shared_interfaces_;
    std::int64_t last_ns_ = 0;

    // The mark of the batch returned last.
    bool marked_ = false;
    std::uint64_t mark_offset_ = 0, mark_index_ = 0;
    std::int64_t mark_last_ns_ = 0;

    // Plain capture, paced.
    std::unique_ptr<Cuts> cuts_;
    std::vector<std::uint8_t> pending_;
    std::uint64_t pending_offset_ = 0;
    std::uint64_t pending_index_ = 0; // attitude frame j whose time the pending bytes carry
    bool pending_at_frame_ = true;    // they begin where attitude frame j does (or the file)
};

// The times a recording plays at: since its first record, with a jump of more than a minute
// either way between two records (a clock set on the way, a damaged or crafted time) taken out
// as a gap, so that playing never waits for it and the length counts only what plays.
class PlayTimes {
  public:
    static constexpr std::int64_t kMaxStepNs = 60'000'000'000;
    // The play time of the next record, recorded at `time_ns`; `jump_ns` gets the jump taken
    // out before it (0: none).
    std::int64_t next(std::int64_t time_ns, std::int64_t& jump_ns);
    // The first record's time (0 until there is one).
    std::int64_t origin() const { return origin_; }

  private:
    bool started_ = false;
    std::int64_t last_ = 0, offset_ = 0, origin_ = 0;
};

// A recording file opened for playing: a regular file (a FIFO, device or folder is refused
// without waiting on it), a pcap or pcapng file of link type 147, or a plain capture that holds
// a board frame within its first kPlainProbe bytes. Anything else is refused with a message
// naming the file.
class RecordingFile {
  public:
    static constexpr std::size_t kPlainProbe = 65536;

    static std::unique_ptr<RecordingFile> open(const std::filesystem::path& path,
                                               std::string& error, ReaderOptions options = {});

    RecordingReader& reader() { return *reader_; }
    const std::filesystem::path& path() const { return path_; }
    std::uint64_t size() const { return file_.size(); }

  private:
    RecordingFile() = default;
    std::filesystem::path path_;
    ReadFile file_;
    std::unique_ptr<RecordingReader> reader_;
};

} // namespace zento
