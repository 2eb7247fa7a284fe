#include "recording/recording_reader.h"

#include "link/envelope.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace zento {
namespace {

constexpr std::size_t kBlock = 1 << 16;

std::uint32_t byteswap32(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}

std::uint32_t le32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::string at_byte(std::uint64_t offset) {
    return "at byte " + std::to_string(offset);
}

// Finds the frames of a stream with the project's receiver and tells whether any came.
struct AnyFrame final : ReceiverEvents {
    bool seen = false;
    void Show_msg(std::string_view) override {}
    void Rec_LedON() override {}
    void Rec_attitude(std::span<const std::uint8_t>) override { seen = true; }
    void Rec_sensor(std::span<const std::uint8_t>) override { seen = true; }
    void Rec_other(std::span<const std::uint8_t>) override { seen = true; }
};

} // namespace

// The receiver that finds the attitude frames of a plain capture; `wire` is the size of the
// attitude frame that the last byte completed (0: none).
struct RecordingReader::Cuts final : ReceiverEvents {
    Cuts() : rx(*this) {}
    void Show_msg(std::string_view) override {}
    void Rec_LedON() override {}
    void Rec_attitude(std::span<const std::uint8_t> f) override { wire = f.size() + 3; }
    void Rec_sensor(std::span<const std::uint8_t>) override {}

    Receiver rx;
    std::size_t wire = 0;
    std::uint64_t attitudes = 0;
};

RecordingReader::RecordingReader(ByteSource& source, ReaderOptions options)
    : source_(source), options_(options), block_(kBlock) {
    if (!(options_.plain_rate > 0) || !std::isfinite(options_.plain_rate))
        options_.plain_rate = 20.0;
}

RecordingReader::~RecordingReader() = default;

// Makes at least `want` bytes available from pos_ (fewer at the end of the source or on a read
// error). `want` is at most the block size.
bool RecordingReader::fill(std::size_t want) {
    if (len_ - pos_ >= want) return true;
    if (pos_ != 0) {
        std::memmove(block_.data(), block_.data() + pos_, len_ - pos_);
        len_ -= pos_;
        pos_ = 0;
    }
    while (len_ < want && !source_done_) {
        const std::ptrdiff_t n = source_.read(block_.data() + len_, block_.size() - len_);
        if (n > 0) {
            len_ += std::size_t(n);
        } else {
            source_done_ = true;
            if (n < 0) read_error_ = source_.error();
        }
    }
    return len_ >= want;
}

std::size_t RecordingReader::take(std::uint8_t* into, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        if (pos_ == len_ && !fill(1)) break;
        const std::size_t k = std::min(n - got, len_ - pos_);
        std::memcpy(into + got, block_.data() + pos_, k);
        pos_ += k;
        consumed_ += k;
        got += k;
    }
    return got;
}

std::uint32_t RecordingReader::u32(const std::uint8_t* p) const {
    const std::uint32_t v = le32(p);
    return swapped_ ? byteswap32(v) : v;
}

bool RecordingReader::start() {
    if (started_) return refusal_.empty();
    started_ = true;
    fill(kPcapHeaderSize);
    const std::size_t avail = len_ - pos_;
    const std::uint8_t* h = block_.data() + pos_;
    const std::uint32_t magic = avail >= 4 ? le32(h) : 0;
    if (magic == kPcapngMagic) {
        format_ = RecordingFormat::pcap;
        refusal_ = "it is a pcapng file; Zento reads classic pcap files (save it as pcap)";
        return false;
    }
    if (magic == kPcapMagicMicro || magic == kPcapMagicNano) {
        swapped_ = false;
    } else if (magic == byteswap32(kPcapMagicMicro) || magic == byteswap32(kPcapMagicNano)) {
        swapped_ = true;
    } else {
        format_ = RecordingFormat::plain;
        if (options_.plain_paced) cuts_ = std::make_unique<Cuts>();
        return true;
    }
    format_ = RecordingFormat::pcap;
    nano_ = u32(h) == kPcapMagicNano;
    if (avail < kPcapHeaderSize) {
        refusal_ = "truncated pcap header (" + std::to_string(avail) + " of " +
                   std::to_string(kPcapHeaderSize) + " bytes)";
        return false;
    }
    auto u16 = [&](const std::uint8_t* p) {
        return swapped_ ? unsigned(p[0]) << 8 | p[1] : unsigned(p[1]) << 8 | p[0];
    };
    const unsigned major = u16(h + 4), minor = u16(h + 6);
    if (major != 2) {
        refusal_ = "pcap version " + std::to_string(major) + "." + std::to_string(minor) +
                   " is not supported (2.x is)";
        return false;
    }
    snaplen_ = u32(h + 16);
    const std::uint32_t linktype = u32(h + 20) & 0xFFFFu; // the upper bits carry other fields
    if (linktype != kLinktypeUser0) {
        refusal_ = "it is a pcap file of link type " + std::to_string(linktype) +
                   ", not a Zento recording (link type 147, LINKTYPE_USER0)";
        return false;
    }
    limit_ = snaplen_ >= 1 && snaplen_ <= kPcapReadLimit ? snaplen_ : kPcapReadLimit;
    pos_ += kPcapHeaderSize;
    consumed_ += kPcapHeaderSize;
    return true;
}

std::optional<Batch> RecordingReader::damage(std::uint64_t at, std::string why) {
    ended_ = true;
    stop_ = {true, at, std::move(why), read_error_};
    return std::nullopt;
}

std::optional<Batch> RecordingReader::next() {
    if (!started_ && !start()) ended_ = true;
    if (ended_ || !refusal_.empty()) return std::nullopt;
    return format_ == RecordingFormat::pcap ? next_pcap() : next_plain();
}

std::optional<Batch> RecordingReader::next_pcap() {
    const std::uint64_t at = consumed_;
    std::uint8_t h[kPcapRecordHeaderSize];
    const std::size_t got = take(h, sizeof h);
    if (got < sizeof h && !read_error_.empty())
        return damage(consumed_, "cannot read: " + read_error_ + " " + at_byte(consumed_));
    if (got == 0) {
        ended_ = true;
        stop_ = {false, at, {}, {}};
        return std::nullopt;
    }
    if (got < sizeof h)
        return damage(at, "truncated record header " + at_byte(at) + " (" + std::to_string(got) +
                              " of 16 bytes)");
    const std::uint32_t sec = u32(h), frac = u32(h + 4), incl = u32(h + 8);
    if (incl > limit_)
        return damage(at, "record " + at_byte(at) + " is " + std::to_string(incl) +
                              " bytes long, more than the snaplen " + std::to_string(limit_));
    if (incl == 0) return damage(at, "record " + at_byte(at) + " has no direction byte");
    if (frac >= (nano_ ? 1'000'000'000u : 1'000'000u))
        return damage(at, "record " + at_byte(at) + " has a time fraction out of range (" +
                              std::to_string(frac) + ")");
    record_.resize(incl);
    const std::size_t body = take(record_.data(), incl);
    if (body < incl && !read_error_.empty())
        return damage(consumed_, "cannot read: " + read_error_ + " " + at_byte(consumed_));
    if (body < incl)
        return damage(at, "truncated record " + at_byte(at) + " (" + std::to_string(body) + " of " +
                              std::to_string(incl) + " bytes)");
    if (record_[0] > 1)
        return damage(at, "record " + at_byte(at) + " has the direction " +
                              std::to_string(record_[0]) + " (0 or 1 expected)");
    Batch b;
    b.time_ns = std::int64_t(sec) * 1'000'000'000 + std::int64_t(frac) * (nano_ ? 1 : 1000);
    b.direction = Direction(record_[0]);
    b.offset = at;
    b.bytes = std::span<const std::uint8_t>(record_).subspan(1);
    return b;
}

std::optional<Batch> RecordingReader::emit_plain(std::size_t n) {
    record_.assign(pending_.begin(), pending_.begin() + std::ptrdiff_t(n));
    pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(n));
    Batch b;
    b.time_ns = std::llround(double(pending_index_) * 1e9 / options_.plain_rate);
    b.offset = pending_offset_;
    b.bytes = record_;
    pending_offset_ += n;
    return b;
}

std::optional<Batch> RecordingReader::next_plain() {
    for (;;) {
        if (pos_ == len_ && !fill(1)) {
            if (!read_error_.empty())
                return damage(consumed_, "cannot read: " + read_error_ + " " + at_byte(consumed_));
            if (!pending_.empty()) return emit_plain(pending_.size());
            ended_ = true;
            stop_ = {false, consumed_, {}, {}};
            return std::nullopt;
        }
        if (!cuts_) { // unpaced: the block as read
            Batch b;
            b.offset = consumed_;
            b.bytes = std::span<const std::uint8_t>(block_.data() + pos_, len_ - pos_);
            consumed_ += len_ - pos_;
            pos_ = len_;
            return b;
        }
        Receiver& rx = cuts_->rx;
        while (pos_ < len_) {
            const std::size_t room = kPlainBatchMax - pending_.size();
            if (room == 0) return emit_plain(pending_.size());
            const std::uint8_t* p = block_.data() + pos_;
            const std::size_t avail = std::min(len_ - pos_, room);
            std::size_t k = 1;
            const std::ptrdiff_t body = rx.rx_count >= 1 ? rx.rx_len - 1 - rx.rx_count : 0;
            if (rx.rx_on && body > 0) {
                // Bytes before a frame's announced end cannot complete it: in one piece.
                k = std::min(avail, std::size_t(body));
                rx.feed(std::span<const std::uint8_t>(p, k));
            } else if (!rx.rx_on && *p != kHeader1 && *p != kHeader2 && *p != kEnd) {
                // Outside a frame only the header and end bytes do anything.
                k = 1;
                while (k < avail && p[k] != kHeader1 && p[k] != kHeader2 && p[k] != kEnd)
                    ++k;
            } else {
                rx.byte(*p);
            }
            pending_.insert(pending_.end(), p, p + k);
            pos_ += k;
            consumed_ += k;
            if (cuts_->wire == 0) continue;
            // An attitude frame ended with the last byte: a new batch starts at its start.
            const std::uint64_t j = cuts_->attitudes++;
            const std::ptrdiff_t start = std::ptrdiff_t(pending_.size() - cuts_->wire);
            cuts_->wire = 0;
            if (j > 0 && start > 0) {
                auto b = emit_plain(std::size_t(start));
                pending_index_ = j;
                return b;
            }
            pending_index_ = j; // it began in the batch already sent, or it is the first
        }
    }
}

std::int64_t PlayTimes::next(std::int64_t time_ns, std::int64_t& jump_ns) {
    jump_ns = 0;
    if (!started_) {
        started_ = true;
        offset_ = time_ns;
    } else if (time_ns - last_ > kMaxStepNs || last_ - time_ns > kMaxStepNs) {
        jump_ns = time_ns - last_;
        offset_ += jump_ns;
    }
    last_ = time_ns;
    return time_ns - offset_;
}

std::unique_ptr<RecordingFile> RecordingFile::open(const std::filesystem::path& path,
                                                   std::string& error, ReaderOptions options) {
    std::unique_ptr<RecordingFile> rf(new RecordingFile);
    rf->path_ = path;
    const std::string name = path.string();
    if (const std::string why = rf->file_.open(path); !why.empty()) {
        error = "cannot open " + name + ": " + why;
        return nullptr;
    }
    if (rf->file_.size() == 0) {
        error = name + " is empty: it holds no recording";
        return nullptr;
    }
    // Look at the head: a pcap magic, or else a board frame in the first bytes.
    std::vector<std::uint8_t> head(kPlainProbe);
    std::size_t n = 0;
    while (n < head.size()) {
        const std::ptrdiff_t got = rf->file_.read(head.data() + n, head.size() - n);
        if (got < 0) {
            error = "cannot read " + name + ": " + rf->file_.error();
            return nullptr;
        }
        if (got == 0) break;
        n += std::size_t(got);
    }
    const std::uint32_t magic = n >= 4 ? le32(head.data()) : 0;
    const bool pcap_like = magic == kPcapngMagic || magic == kPcapMagicMicro ||
                           magic == kPcapMagicNano || magic == byteswap32(kPcapMagicMicro) ||
                           magic == byteswap32(kPcapMagicNano);
    if (!pcap_like) {
        AnyFrame probe;
        Receiver rx(probe);
        rx.feed(std::span<const std::uint8_t>(head.data(), n));
        if (!probe.seen) {
            error = name +
                    " is not a recording: it is neither a pcap file nor a capture of the "
                    "board's frames (no frame in its first " +
                    std::to_string(n) + " bytes)";
            return nullptr;
        }
    }
    if (!rf->file_.rewind()) {
        error = "cannot read " + name + ": " + system_reason(errno);
        return nullptr;
    }
    rf->reader_ = std::make_unique<RecordingReader>(rf->file_, options);
    if (!rf->reader_->start()) {
        error = name + ": " + rf->reader_->refusal();
        return nullptr;
    }
    return rf;
}

} // namespace zento
