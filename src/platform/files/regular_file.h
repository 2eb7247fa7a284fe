#pragma once
// Opening the files the program reads as input (settings file, model, textures, captures,
// recordings): only regular files are read, and opening never blocks.
//
// A path that leads to a named pipe (FIFO), a folder, a device or a socket is refused with a
// reason, before any byte is read: opening a FIFO for reading would wait for a writer forever,
// and a device may never reach its end. The file is opened without blocking, then checked on
// the open descriptor (so what is checked is what is read), then read normally.
//
// Reasons are the system's words ("No such file or directory", "Permission denied") or one of
// ours ("it is a folder", "it is a named pipe (FIFO), not a regular file"); callers put the
// path in front: "cannot read /x/Zento.ini: it is a folder".
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace zento {

class RegularFile {
  public:
    RegularFile() = default;
    ~RegularFile();
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // Opens `path` for reading if it is a regular file (a symbolic link to one is followed).
    static RegularFile open(const std::filesystem::path& path);

    bool ok() const { return fd_ >= 0; }
    // Why the file could not be opened ("" when ok).
    const std::string& reason() const { return reason_; }
    // The path does not exist (or a folder on its way does not).
    bool missing() const { return missing_; }
    // Size at opening, in bytes.
    std::uint64_t size() const { return size_; }

    // Reads up to n bytes. Returns the count, 0 at the end of the file, -1 on a failure
    // (reason() then says why). Interrupted reads are resumed.
    std::ptrdiff_t read(void* buffer, std::size_t n);

    // The descriptor, still owned by this object (-1 when not open).
    int fd() const { return fd_; }
    // Hands the descriptor to the caller, who closes it.
    int release();
    void close();

  private:
    int fd_ = -1;
    std::uint64_t size_ = 0;
    bool missing_ = false;
    std::string reason_;
};

// The system's text for an error number, the same on every thread.
std::string system_reason(int error_number);

// The whole content of a regular file of at most `limit` bytes.
struct FileContent {
    std::optional<std::string> bytes; // nothing when the file could not be read
    bool missing = false;             // it does not exist: often not a fault
    std::string reason;               // why, when it could not be read
};
FileContent read_regular_file(const std::filesystem::path& path, std::uint64_t limit);

// "1.5 MiB", "64 MiB", "300 bytes": sizes in messages.
std::string size_text(std::uint64_t bytes);

} // namespace zento
