#include "recording/recording_reader.h"

#include "link/envelope.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

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

__extension__ typedef unsigned __int128 u128;
__extension__ typedef __int128 i128;

// pcapng: ticks of an interface's resolution (if_tsresol v: 10^-v seconds, or 2^-(v & 0x7F)
// when the top bit is set) plus its offset in seconds, as nanoseconds since 1970 (rounded down);
// nothing when beyond what 64 bits hold.
std::optional<std::int64_t> pcapng_time(std::uint64_t ticks, std::uint8_t tsresol,
                                        std::int64_t offset_s) {
    const unsigned v = tsresol & 0x7Fu;
    u128 ns = 0;
    if (tsresol & 0x80) {
        ns = (u128(ticks) * 1'000'000'000u) >> v; // below 2^94 before the shift
    } else if (v <= 9) {
        ns = ticks;
        for (unsigned i = v; i < 9; ++i)
            ns *= 10;
    } else if (v - 9 <= 19) { // 10^19 still fits 64 bits; finer resolutions give 0
        std::uint64_t tick_per_ns = 1;
        for (unsigned i = 9; i < v; ++i)
            tick_per_ns *= 10;
        ns = ticks / tick_per_ns;
    }
    const i128 t = i128(ns) + i128(offset_s) * 1'000'000'000;
    if (t > std::numeric_limits<std::int64_t>::max() ||
        t < std::numeric_limits<std::int64_t>::min())
        return std::nullopt;
    return std::int64_t(t);
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

// Inlined everywhere: the classic records' path reads three words per record.
[[gnu::always_inline]] inline std::uint32_t RecordingReader::u32(const std::uint8_t* p) const {
    const std::uint32_t v = le32(p);
    return swapped_ ? byteswap32(v) : v;
}

std::uint16_t RecordingReader::u16(const std::uint8_t* p) const {
    return std::uint16_t(swapped_ ? p[0] << 8 | p[1] : p[1] << 8 | p[0]);
}

// Consumes n bytes without keeping them (fewer at the end of the source).
std::uint64_t RecordingReader::skip(std::uint64_t n) {
    std::uint64_t done = 0;
    while (done < n) {
        if (pos_ == len_ && !fill(1)) break;
        const std::size_t k = std::size_t(std::min<std::uint64_t>(n - done, len_ - pos_));
        pos_ += k;
        consumed_ += k;
        done += k;
    }
    return done;
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
        pcapng_ = true;
        return start_pcapng();
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
    if (format_ == RecordingFormat::pcap && !pcapng_) return next_pcap();
    return pcapng_ ? next_pcapng() : next_plain();
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
    marked_ = true;
    mark_offset_ = at;
    Batch b;
    b.time_ns = std::int64_t(sec) * 1'000'000'000 + std::int64_t(frac) * (nano_ ? 1 : 1000);
    b.direction = Direction(record_[0]);
    b.offset = at;
    b.bytes = std::span<const std::uint8_t>(record_).subspan(1);
    return b;
}

// pcapng. The blocks before the first packet are read by start(): what is wrong there refuses
// the file. Later, every block is read whole (packets into record_, the rest skipped) and its
// trailing length checked before its batch is handed out.
bool RecordingReader::start_pcapng() {
    for (;;) {
        fill(8); // the next block's type, left unread if it is a packet
        if (len_ - pos_ >= 8) {
            const std::uint32_t type = u32(block_.data() + pos_);
            if (type == kPcapngEnhancedPacket || type == kPcapngSimplePacket) break;
        }
        Batch unused;
        const Step s = pcapng_block(unused);
        if (s == Step::end) break;
        if (s == Step::stop) {
            refusal_ = stop_.reason;
            return false;
        }
    }
    return true;
}

std::optional<Batch> RecordingReader::next_pcapng() {
    Batch b;
    for (;;) {
        switch (pcapng_block(b)) {
        case Step::batch:
            return b;
        case Step::block:
            break;
        case Step::end:
        case Step::stop:
            return std::nullopt;
        }
    }
}

RecordingReader::Step RecordingReader::fail(std::uint64_t at, std::string why) {
    damage(at, std::move(why));
    return Step::stop;
}

RecordingReader::Step RecordingReader::truncated(std::uint64_t at, std::uint32_t total) {
    if (!read_error_.empty())
        return fail(consumed_, "cannot read: " + read_error_ + " " + at_byte(consumed_));
    return fail(at, "truncated block " + at_byte(at) + " (" + std::to_string(consumed_ - at) +
                        " of " + (total ? std::to_string(total) : "at least 12") + " bytes)");
}

RecordingReader::Step RecordingReader::block_end(std::uint64_t at, std::uint32_t total) {
    std::uint8_t t[4];
    if (take(t, 4) < 4) return truncated(at, total);
    if (u32(t) != total)
        return fail(at, "block " + at_byte(at) + " has two lengths, " + std::to_string(total) +
                            " and " + std::to_string(u32(t)));
    return Step::block;
}

RecordingReader::Step RecordingReader::pcapng_block(Batch& batch) {
    const std::uint64_t at = consumed_;
    std::uint8_t h[12];
    const std::size_t got = take(h, 8);
    if (got == 0 && read_error_.empty()) {
        ended_ = true;
        stop_ = {false, at, {}, {}};
        return Step::end;
    }
    if (got < 8) return truncated(at, 0);
    if (le32(h) == kPcapngMagic) return section_header(at, h);
    const std::uint32_t type = u32(h), total = u32(h + 4);
    if (total < 12 || total % 4 != 0)
        return fail(at, "block " + at_byte(at) + " has the length " + std::to_string(total) +
                            " (a multiple of 4, at least 12, expected)");
    if (type == kPcapngInterface) return interface_description(at, total);
    if (type == kPcapngEnhancedPacket || type == kPcapngSimplePacket)
        return packet(at, type, total, batch);
    if (skip(total - 12) < total - 12) return truncated(at, total);
    return block_end(at, total);
}

// A new section: its byte order, version; no interfaces yet.
RecordingReader::Step RecordingReader::section_header(std::uint64_t at, std::uint8_t* h) {
    if (take(h + 8, 4) < 4) return truncated(at, 0);
    const std::uint32_t order = le32(h + 8);
    if (order != kPcapngByteOrder && order != byteswap32(kPcapngByteOrder))
        return fail(at, "section header " + at_byte(at) + " has no byte-order magic");
    swapped_ = order != kPcapngByteOrder;
    const std::uint32_t total = u32(h + 4);
    if (total < 28 || total % 4 != 0)
        return fail(at, "section header " + at_byte(at) + " has the length " +
                            std::to_string(total) + " (a multiple of 4, at least 28, expected)");
    std::uint8_t v[4];
    if (take(v, 4) < 4) return truncated(at, total);
    if (u16(v) != 1)
        return fail(at, "pcapng version " + std::to_string(u16(v)) + "." +
                            std::to_string(u16(v + 2)) + " " + at_byte(at) +
                            " is not supported (1.x is)");
    if (skip(total - 20) < total - 20) return truncated(at, total); // section length, options
    interfaces_.clear();
    shared_interfaces_.reset();
    return block_end(at, total);
}

RecordingReader::Step RecordingReader::interface_description(std::uint64_t at,
                                                             std::uint32_t total) {
    if (total < 20)
        return fail(at, "interface description " + at_byte(at) + " is " + std::to_string(total) +
                            " bytes long (at least 20 expected)");
    std::uint8_t b[8];
    if (take(b, 8) < 8) return truncated(at, total);
    if (u16(b) != kLinktypeUser0)
        return fail(at, "interface " + std::to_string(interfaces_.size()) + " " + at_byte(at) +
                            " has link type " + std::to_string(u16(b)) +
                            ": not a Zento recording (link type 147, LINKTYPE_USER0)");
    if (interfaces_.size() >= kMaxInterfaces)
        return fail(at, "interface description " + at_byte(at) + " is one more than " +
                            std::to_string(kMaxInterfaces) + " in a section");
    Interface itf;
    itf.snaplen = u32(b + 4);
    itf.limit = itf.snaplen >= 1 && itf.snaplen <= kPcapReadLimit ? itf.snaplen : kPcapReadLimit;
    // Options: code, length, value padded to 4; if_tsresol (9) and if_tsoffset (14) are kept.
    std::uint64_t left = total - 20;
    while (left >= 4) {
        std::uint8_t o[8];
        if (take(o, 4) < 4) return truncated(at, total);
        left -= 4;
        const unsigned code = u16(o), len = u16(o + 2);
        if (code == 0) break; // the end of the options
        std::uint64_t rest = (std::uint64_t(len) + 3) & ~std::uint64_t(3);
        if (rest > left)
            return fail(at, "interface description " + at_byte(at) +
                                " has an option longer than its block");
        left -= rest;
        if ((code == 9 && len >= 1) || (code == 14 && len == 8)) {
            if (take(o, len == 8 ? 8 : 1) < (len == 8 ? 8u : 1u)) return truncated(at, total);
            rest -= len == 8 ? 8 : 1;
            if (code == 9) {
                itf.tsresol = o[0];
            } else {
                const std::uint64_t lo = u32(o + (swapped_ ? 4 : 0)),
                                    hi = u32(o + (swapped_ ? 0 : 4));
                itf.tsoffset = std::int64_t(hi << 32 | lo);
            }
        }
        if (skip(rest) < rest) return truncated(at, total);
    }
    if (skip(left) < left) return truncated(at, total);
    interfaces_.push_back(itf);
    shared_interfaces_.reset();
    return block_end(at, total);
}

// An enhanced (interface, time, lengths) or simple (interface 0, original length) packet block.
RecordingReader::Step RecordingReader::packet(std::uint64_t at, std::uint32_t type,
                                              std::uint32_t total, Batch& batch) {
    const bool enhanced = type == kPcapngEnhancedPacket;
    const std::uint32_t fixed = enhanced ? 20 : 4;
    if (total < 12 + fixed)
        return fail(at, "packet block " + at_byte(at) + " is " + std::to_string(total) +
                            " bytes long (at least " + std::to_string(12 + fixed) + " expected)");
    std::uint8_t f[20];
    if (take(f, fixed) < fixed) return truncated(at, total);
    const std::uint32_t iface = enhanced ? u32(f) : 0;
    if (iface >= interfaces_.size())
        return fail(at, "packet block " + at_byte(at) + " names interface " +
                            std::to_string(iface) + ", which its section does not describe");
    const Interface& itf = interfaces_[iface];
    const std::uint32_t room = total - 12 - fixed;
    std::uint32_t incl = u32(enhanced ? f + 12 : f);
    if (!enhanced && itf.snaplen != 0) incl = std::min(incl, itf.snaplen);
    if (incl > room)
        return fail(at, "packet block " + at_byte(at) + " claims " + std::to_string(incl) +
                            " bytes in a block of " + std::to_string(total));
    if (incl > itf.limit)
        return fail(at, "record " + at_byte(at) + " is " + std::to_string(incl) +
                            " bytes long, more than the snaplen " + std::to_string(itf.limit));
    if (incl == 0) return fail(at, "record " + at_byte(at) + " has no direction byte");
    std::int64_t ns = last_ns_; // a simple packet block has no time
    if (enhanced) {
        const auto t =
            pcapng_time(std::uint64_t(u32(f + 4)) << 32 | u32(f + 8), itf.tsresol, itf.tsoffset);
        if (!t) return fail(at, "record " + at_byte(at) + " has a time out of range");
        ns = *t;
    }
    record_.resize(incl);
    if (take(record_.data(), incl) < incl) return truncated(at, total);
    if (record_[0] > 1)
        return fail(at, "record " + at_byte(at) + " has the direction " +
                            std::to_string(record_[0]) + " (0 or 1 expected)");
    if (skip(room - incl) < room - incl) return truncated(at, total); // padding, options
    if (const Step s = block_end(at, total); s != Step::block) return s;
    marked_ = true;
    mark_offset_ = at;
    mark_last_ns_ = last_ns_;
    last_ns_ = ns;
    batch.time_ns = ns;
    batch.direction = Direction(record_[0]);
    batch.offset = at;
    batch.bytes = std::span<const std::uint8_t>(record_).subspan(1);
    return Step::batch;
}

std::optional<Batch> RecordingReader::emit_plain(std::size_t n) {
    marked_ = cuts_ && pending_at_frame_;
    mark_offset_ = pending_offset_;
    mark_index_ = pending_index_;
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
            if (room == 0) {
                pending_at_frame_ = false; // the next batch begins inside the stretch
                return emit_plain(pending_.size());
            }
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
                pending_at_frame_ = true;
                return b;
            }
            pending_index_ = j; // it began in the batch already sent, or it is the first
        }
    }
}

std::optional<ReaderMark> RecordingReader::mark() const {
    if (!marked_) return std::nullopt;
    ReaderMark m;
    m.offset = mark_offset_;
    m.index = mark_index_;
    m.last_ns = mark_last_ns_;
    if (pcapng_) {
        m.swapped = swapped_;
        if (!shared_interfaces_)
            shared_interfaces_ = std::make_shared<const std::vector<Interface>>(interfaces_);
        m.interfaces = shared_interfaces_;
    }
    return m;
}

bool RecordingReader::seek(const ReaderMark& m) {
    if ((!started_ && !start()) || !refusal_.empty() || !source_.seek(m.offset)) return false;
    pos_ = len_ = 0;
    consumed_ = m.offset;
    source_done_ = ended_ = marked_ = false;
    read_error_.clear();
    stop_ = {};
    if (pcapng_) {
        swapped_ = m.swapped;
        interfaces_ = m.interfaces ? *m.interfaces : std::vector<Interface>{};
        shared_interfaces_ = m.interfaces;
        last_ns_ = m.last_ns;
    }
    if (cuts_) { // the receiver finds attitude frame `index` first, as it did
        cuts_ = std::make_unique<Cuts>();
        cuts_->attitudes = m.index;
        pending_.clear();
        pending_offset_ = m.offset;
        pending_index_ = m.index;
        pending_at_frame_ = true;
    }
    return true;
}

std::int64_t PlayTimes::next(std::int64_t time_ns, std::int64_t& jump_ns) {
    jump_ns = 0;
    if (!started_) {
        started_ = true;
        offset_ = origin_ = time_ns;
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
