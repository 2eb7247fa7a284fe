#pragma once
// The file access of recordings and captures: the few system calls they need, so that the
// formats above them are plain C++.
//
//  - ReadFile opens a regular file only, and without blocking (platform/files/regular_file.h): a
//    FIFO (which would wait for a writer forever), a device, a socket or a folder is refused
//    with the reason.
//  - WriteFile creates a new file (never replaces one), writes it, makes it durable (the data
//    on the disk, not only in the system's cache) and can cut it back to a length.
// Reasons are the system's words ("No space left on device"), without the path: the caller
// names the file.
#include "platform/files/regular_file.h"
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace zento {

// Reads bytes from somewhere: a file, standard input, memory.
class ByteSource {
  public:
    virtual ~ByteSource() = default;
    // Up to `max` bytes into `into`: the count, 0 at the end, -1 when reading failed (error()).
    virtual std::ptrdiff_t read(std::uint8_t* into, std::size_t max) = 0;
    virtual std::string error() const { return {}; }
    // Reads on from byte `offset` of the source; false when it cannot (a stream).
    virtual bool seek(std::uint64_t /*offset*/) { return false; }
};

class ReadFile final : public ByteSource {
  public:
    ReadFile() = default;
    ~ReadFile() override;
    ReadFile(const ReadFile&) = delete;
    ReadFile& operator=(const ReadFile&) = delete;

    // Opens `path` for reading when it is a regular file (symbolic links are followed).
    // Returns "" or why not: the system's reason, or "it is a folder", "it is a FIFO", ...
    std::string open(const std::filesystem::path& path);
    // Reads an already open descriptor (standard input): whatever it is, blocking as it does.
    void adopt(int fd);
    bool is_open() const { return fd_ >= 0; }
    std::ptrdiff_t read(std::uint8_t* into, std::size_t max) override;
    std::string error() const override { return error_; }
    // Back to the first byte, or to any (regular files only).
    bool rewind() { return seek(0); }
    bool seek(std::uint64_t offset) override;
    // The size when it was opened (regular files only).
    std::uint64_t size() const { return size_; }

  private:
    int fd_ = -1;
    bool owned_ = false;
    std::uint64_t size_ = 0;
    std::string error_;
};

class WriteFile {
  public:
    WriteFile() = default;
    ~WriteFile();
    WriteFile(const WriteFile&) = delete;
    WriteFile& operator=(const WriteFile&) = delete;

    enum class Create { made, exists, failed };
    // Creates `path`, which must not exist yet. On failed, `error` holds the reason.
    Create create_new(const std::filesystem::path& path, std::string& error);
    // Writes all of `bytes`; false on the first failure, with `written` the bytes that did
    // reach the file (a full disk often takes part of a write).
    bool write_all(std::span<const std::uint8_t> bytes, std::size_t& written, std::string& error);
    // Makes what was written durable (fdatasync, FlushFileBuffers).
    bool sync(std::string& error);
    // Cuts the file back to `size` bytes and continues writing there.
    bool truncate(std::uint64_t size, std::string& error);
    bool close(std::string& error);
    bool is_open() const { return fd_ >= 0; }
    // Whether the open file is still the one at `path`: deleted (no name left), moved (`path`
    // names nothing or another file; `now` gets its new path where the system tells, Linux), or
    // here (also when it cannot be told).
    enum class Place { here, deleted, moved };
    Place place(const std::filesystem::path& path, std::filesystem::path& now) const;

  private:
    int fd_ = -1;
};

// A write past the file-size limit (RLIMIT_FSIZE, `ulimit -f`) raises SIGXFSZ, which ends the
// program by default. Ignored, the write fails with EFBIG instead and takes the path of a full
// disk. Leaves a handler that the program installed alone.
void ignore_file_size_signal();

} // namespace zento
