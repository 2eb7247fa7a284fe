#pragma once
// The recording's byte file: classic pcap (the libpcap file format), so that tcpdump, Wireshark
// and libpcap read it.
//
//   global header, 24 bytes (written little-endian; readers accept either byte order):
//     0  magic     A1B2C3D4 (microsecond timestamps) or A1B23C4D (nanoseconds)
//     4  version   2, 4 (major, minor; 16 bits each)
//     8  thiszone  0          12 sigfigs 0
//    16  snaplen   65535      20 network 147 (LINKTYPE_USER0)
//   then records, each:
//     0  ts_sec    seconds since 1970-01-01 UTC
//     4  ts_frac   microseconds (or nanoseconds, by the magic)
//     8  incl_len  bytes of the record that follow (1 + payload), at most the snaplen
//    12  orig_len  the same
//    16  direction 0 = bytes from the board, 1 = bytes the program sent (a command)
//    17  payload   the batch of bytes exactly as the port gave them (or took them)
//
// One record per batch; a batch of more than 65534 bytes takes several records with the same
// time. A Zento recording starts with a record that holds only the direction byte 0: its time
// is the start of the recording, from which the CSV counts its seconds.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace zento {

inline constexpr std::uint32_t kPcapMagicMicro = 0xA1B2C3D4;
inline constexpr std::uint32_t kPcapMagicNano = 0xA1B23C4D;
// pcapng, the format Wireshark's tools write (read only, see recording_reader.h): the section
// header's block type (the same in either byte order), the byte-order magic that follows its
// length, and the block types that the reader takes.
inline constexpr std::uint32_t kPcapngMagic = 0x0A0D0D0A;
inline constexpr std::uint32_t kPcapngByteOrder = 0x1A2B3C4D;
inline constexpr std::uint32_t kPcapngInterface = 1;
inline constexpr std::uint32_t kPcapngSimplePacket = 3;
inline constexpr std::uint32_t kPcapngEnhancedPacket = 6;
inline constexpr std::uint32_t kPcapSnaplen = 65535;
inline constexpr std::uint32_t kLinktypeUser0 = 147;
inline constexpr std::size_t kPcapHeaderSize = 24;
inline constexpr std::size_t kPcapRecordHeaderSize = 16;
// Payload bytes of one record: the snaplen less the direction byte.
inline constexpr std::size_t kPcapMaxPayload = kPcapSnaplen - 1;
// Readers take records up to the file's own snaplen, but never more than this (a file may
// claim any snaplen; libpcap itself refuses larger records of most link types).
inline constexpr std::uint32_t kPcapReadLimit = 262144;

enum class Direction : std::uint8_t { received = 0, sent = 1 };

// The global header of a Zento recording (little-endian, microseconds).
void append_pcap_header(std::vector<std::uint8_t>& out);

// Appends a batch as records stamped `time_us` (microseconds since 1970; negative counts as 0).
// An empty batch gives one record of the direction byte alone. Returns the records appended.
std::size_t append_pcap_records(std::vector<std::uint8_t>& out, std::int64_t time_us,
                                Direction direction, std::span<const std::uint8_t> payload);

} // namespace zento
