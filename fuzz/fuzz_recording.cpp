// libFuzzer target: the recording reader, with the receiver, the decoders and the CSV rows
// behind it, as a playback or zento-decode --csv runs them.
//
// The first input byte chooses what the rest is:
//   bit 0 = 0  the rest is the file as it is (pcap or plain capture, whatever it looks like)
//   bit 0 = 1  a pcap file is built from the rest: bit 1 big-endian, bit 2 nanoseconds, bit 3 a
//              small snaplen (100); then records while input lasts: a control byte c (length
//              c & 0x3F, c & 0x40 direction 1, c & 0x80 a wrong incl_len from the next 4 bytes),
//              a time step byte, the payload bytes; the file may end inside a record.
//              With bit 4 the file is pcapng instead: a section header and an interface
//              description (bits 1 to 3 as above; nanoseconds by if_tsresol 9), then one enhanced
//              packet block per record (c & 0x80: a wrong captured length), or by the time step
//              byte's low bits a simple packet block, a statistics block before it, or a new
//              section (of the other byte order) before it.
// Checked for every input: the batches are the same whether the file arrives whole or in
// pieces of pseudo-random sizes; offsets grow; no batch exceeds its limit; a clean end is at
// the end of the file; a plain capture's batches are the file, in order, at non-decreasing
// times; reading again from a batch's mark (as a seek does) gives the same batches from there on.
// libFuzzer's malloc limit catches unbounded allocation.
#include "fuzz_check.h"
#include "link/envelope.h"
#include "link/receiver.h"
#include "recording/pcap_format.h"
#include "recording/recording_csv.h"
#include "recording/recording_reader.h"
#include "telemetry/decoders.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

using namespace zento;
using Bytes = std::vector<std::uint8_t>;

namespace {

class Source final : public ByteSource {
  public:
    Source(const Bytes& bytes, std::uint32_t seed) : bytes_(bytes), seed_(seed) {}
    std::ptrdiff_t read(std::uint8_t* into, std::size_t max) override {
        std::size_t n = bytes_.size() - at_;
        if (seed_ != 0) { // pieces of 1 to 97 bytes
            seed_ = seed_ * 1103515245u + 12345u;
            n = std::min<std::size_t>(n, 1 + (seed_ >> 16) % 97);
        }
        n = std::min(n, max);
        std::copy_n(bytes_.begin() + std::ptrdiff_t(at_), n, into);
        at_ += n;
        return std::ptrdiff_t(n);
    }
    bool seek(std::uint64_t offset) override {
        if (offset > bytes_.size()) return false;
        at_ = std::size_t(offset);
        return true;
    }

  private:
    const Bytes& bytes_;
    std::uint32_t seed_;
    std::size_t at_ = 0;
};

struct Decoders final : ReceiverEvents {
    std::size_t frames = 0;
    void Show_msg(std::string_view) override {}
    void Rec_LedON() override {}
    void Rec_attitude(std::span<const std::uint8_t> f) override {
        ++frames;
        if (const auto r = decode_attitude(f)) (void)attitude_texts(*r);
    }
    void Rec_sensor(std::span<const std::uint8_t> f) override {
        ++frames;
        if (const auto r = decode_sensor(f)) (void)sensor_texts(*r);
    }
    void Rec_other(std::span<const std::uint8_t>) override { ++frames; }
};

void put32(Bytes& out, std::uint32_t v, bool big) {
    for (int i = 0; i < 4; ++i)
        out.push_back(std::uint8_t(big ? v >> (24 - 8 * i) : v >> (8 * i)));
}

// A pcapng block: type, length, body padded to 4, length again.
void put_block(Bytes& f, std::uint32_t type, Bytes body, bool big) {
    const auto n = std::uint32_t((body.size() + 3) / 4 * 4 + 12);
    body.resize(n - 12);
    put32(f, type, big);
    put32(f, n, big);
    f.insert(f.end(), body.begin(), body.end());
    put32(f, n, big);
}

void put_section(Bytes& f, bool big, bool nano, std::uint32_t snaplen) {
    Bytes shb, idb;
    put32(shb, kPcapngByteOrder, big);
    put32(shb, big ? 0x00010000 : 1, big); // version 1.0
    put32(shb, ~0u, big);
    put32(shb, ~0u, big);
    put_block(f, kPcapngMagic, shb, big);
    put32(idb, big ? kLinktypeUser0 << 16 : kLinktypeUser0, big);
    put32(idb, snaplen, big);
    if (nano) { // if_tsresol 9
        put32(idb, big ? 0x00090001 : 0x00010009, big);
        put32(idb, big ? 9u << 24 : 9, big);
    }
    put_block(f, kPcapngInterface, idb, big);
}

// One record as the input describes it: a head byte (direction bit 0x40, payload length in its
// low six bits, 0x80: a captured length of four bytes follows), a time step, the payload.
struct InputRecord {
    std::uint8_t direction = 0;
    std::uint32_t incl = 0; // the captured length to write (normally 1 + the payload's)
    std::uint8_t step = 0;
    std::span<const std::uint8_t> payload;
};

InputRecord next_record(const std::uint8_t* data, std::size_t size, std::size_t& i) {
    InputRecord r;
    const std::uint8_t c = data[i++];
    const std::size_t len = std::min<std::size_t>(c & 0x3F, size - i);
    r.incl = std::uint32_t(len + 1);
    if ((c & 0x80) && i + 4 <= size) {
        std::memcpy(&r.incl, data + i, 4);
        i += 4;
    }
    r.step = i < size ? data[i++] : 0;
    r.direction = (c & 0x40) ? 1 : 0;
    const std::size_t n = std::min(len, size - i);
    r.payload = {data + i, n};
    i += n;
    return r;
}

Bytes build_pcapng(const std::uint8_t* data, std::size_t size, std::uint8_t mode) {
    bool big = mode & 2;
    const bool nano = mode & 4;
    const std::uint32_t snaplen = (mode & 8) ? 100 : kPcapSnaplen;
    Bytes f;
    put_section(f, big, nano, snaplen);
    std::size_t i = 0;
    std::uint64_t ticks = 1'765'000'000'000'000;
    while (i < size) {
        const InputRecord r = next_record(data, size, i);
        const std::uint8_t step = r.step;
        const std::uint32_t incl = r.incl;
        ticks += step * 997u;
        Bytes body, record{r.direction};
        record.insert(record.end(), r.payload.begin(), r.payload.end());
        if ((step & 3) == 1) {
            put_block(f, 5, Bytes(20, step), big); // statistics: skipped
        } else if ((step & 3) == 2) {
            big = !big;
            put_section(f, big, nano, snaplen);
        }
        if ((step & 3) == 3) {
            put32(body, incl, big);
        } else {
            put32(body, 0, big);
            put32(body, std::uint32_t(ticks >> 32), big);
            put32(body, std::uint32_t(ticks), big);
            put32(body, incl, big);
            put32(body, incl, big);
        }
        body.insert(body.end(), record.begin(), record.end());
        put_block(f, (step & 3) == 3 ? kPcapngSimplePacket : kPcapngEnhancedPacket, body, big);
    }
    return f;
}

Bytes build_pcap(const std::uint8_t* data, std::size_t size, std::uint8_t mode) {
    if (mode & 16) return build_pcapng(data, size, mode);
    const bool big = mode & 2, nano = mode & 4;
    Bytes f;
    put32(f, nano ? kPcapMagicNano : kPcapMagicMicro, big);
    f.insert(f.end(), big ? std::initializer_list<std::uint8_t>{0, 2, 0, 4}
                          : std::initializer_list<std::uint8_t>{2, 0, 4, 0});
    put32(f, 0, big);
    put32(f, 0, big);
    put32(f, (mode & 8) ? 100 : kPcapSnaplen, big);
    put32(f, kLinktypeUser0, big);
    std::size_t i = 0;
    std::uint32_t sec = 1'765'000'000, frac = 0;
    while (i < size) {
        const InputRecord r = next_record(data, size, i);
        frac += r.step * 997u;
        if (frac >= (nano ? 1'000'000'000u : 1'000'000u)) frac = 0, ++sec;
        put32(f, sec, big);
        put32(f, frac, big);
        put32(f, r.incl, big);
        put32(f, r.incl, big);
        f.push_back(r.direction);
        f.insert(f.end(), r.payload.begin(), r.payload.end());
    }
    return f;
}

struct Seen {
    std::int64_t time_ns;
    Direction direction;
    std::uint64_t offset;
    Bytes bytes;
    bool operator==(const Seen&) const = default;
};

std::vector<Seen> read(const Bytes& file, std::uint32_t seed, ReaderStop& stop, bool& refused,
                       RecordingFormat& format, std::string& csv) {
    Source src(file, seed);
    RecordingReader r(src);
    std::vector<Seen> out;
    refused = !r.start();
    format = r.format();
    if (refused) {
        CHECK(!r.refusal().empty());
        CHECK(!r.next());
        return out;
    }
    Decoders d;
    Receiver rx(d);
    CsvRows rows;
    std::int64_t origin = 0;
    while (const auto b = r.next()) {
        const std::size_t limit =
            format == RecordingFormat::pcap ? std::size_t(kPcapReadLimit) : kPlainBatchMax;
        CHECK(b->bytes.size() <= limit);
        CHECK(b->offset < file.size() || (b->bytes.empty() && b->offset <= file.size()));
        CHECK(out.empty() || b->offset > out.back().offset);
        if (out.empty()) origin = b->time_ns;
        out.push_back({b->time_ns, b->direction, b->offset, {b->bytes.begin(), b->bytes.end()}});
        rows.record(b->direction, b->bytes, (b->time_ns - origin) / 1000, csv);
        if (b->direction != Direction::received) continue;
        rx.feed(b->bytes);
    }
    CHECK(rows.rows() <= d.frames);
    stop = r.stop();
    CHECK(stop.offset <= file.size());
    if (!stop.damaged) CHECK(stop.offset == file.size());
    if (stop.damaged) CHECK(!stop.reason.empty());
    return out;
}

// Reading again from a batch's mark gives that batch and every one after it, and the same end.
void check_marks(const Bytes& file, const std::vector<Seen>& whole, const ReaderStop& stop,
                 std::uint32_t seed) {
    Source src(file, seed);
    RecordingReader r(src);
    if (!r.start()) return;
    std::vector<std::pair<ReaderMark, std::size_t>> marks;
    for (std::size_t i = 0; r.next(); ++i)
        if (const auto m = r.mark()) marks.emplace_back(*m, i);
    for (std::size_t k = 0; k < marks.size(); k += 1 + marks.size() / 4) {
        CHECK(r.seek(marks[k].first));
        std::size_t i = marks[k].second;
        for (; const auto b = r.next(); ++i) {
            const Seen again{
                b->time_ns, b->direction, b->offset, {b->bytes.begin(), b->bytes.end()}};
            CHECK(i < whole.size() && whole[i] == again);
        }
        CHECK(i == whole.size());
        CHECK(r.stop().damaged == stop.damaged && r.stop().offset == stop.offset &&
              r.stop().reason == stop.reason);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t mode = data[0];
    const Bytes file =
        (mode & 1) ? build_pcap(data + 1, size - 1, mode) : Bytes(data + 1, data + size);
    std::uint32_t seed = 2166136261u;
    for (std::size_t k = 0; k < size; ++k)
        seed = (seed ^ data[k]) * 16777619u;

    ReaderStop whole_stop, piece_stop;
    bool whole_refused = false, piece_refused = false;
    RecordingFormat format{}, piece_format{};
    std::string whole_csv, piece_csv;
    const auto whole = read(file, 0, whole_stop, whole_refused, format, whole_csv);
    const auto pieces = read(file, seed | 1, piece_stop, piece_refused, piece_format, piece_csv);
    CHECK(whole == pieces);
    CHECK(whole_refused == piece_refused && format == piece_format);
    CHECK(whole_stop.damaged == piece_stop.damaged && whole_stop.offset == piece_stop.offset &&
          whole_stop.reason == piece_stop.reason);
    CHECK(whole_csv == piece_csv);
    check_marks(file, whole, whole_stop, seed | 1);

    if (!whole_refused && format == RecordingFormat::plain) {
        // A plain capture is cut, never changed: the batches are the file.
        Bytes joined;
        std::int64_t last = 0;
        for (const Seen& s : whole) {
            CHECK(s.time_ns >= last);
            last = s.time_ns;
            CHECK(s.offset == joined.size());
            joined.insert(joined.end(), s.bytes.begin(), s.bytes.end());
        }
        CHECK(joined == file);
    }
    return 0;
}
