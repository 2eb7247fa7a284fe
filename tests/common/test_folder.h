#pragma once
// A fresh folder for one test, removed with everything in it, and whole-file reads and writes.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zento_test {

inline std::string read_text(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline std::vector<std::uint8_t> read_bytes(const std::filesystem::path& p) {
    const std::string text = read_text(p);
    return {text.begin(), text.end()};
}

inline void write_file(const std::filesystem::path& p, std::string_view bytes) {
    std::ofstream(p, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

class TempDir {
  public:
    TempDir() {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                ("zento-test-" + std::to_string(rd()) + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec; // a test may have taken the folder's write permission away
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    // Writes a file in the folder and returns its path.
    std::string put(const std::string& name, std::string_view bytes) const {
        write_file(path_ / name, bytes);
        return *this / name;
    }
    std::string put(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        return put(name,
                   std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    }

  private:
    std::filesystem::path path_;
};

// Runs `step` in a child process as an ordinary user (root becomes 65534, "nobody"), so that
// folder and file permissions hold as they do for users; returns what `step` returned, or why
// the child failed. The child does pure work only (no Qt, no gtest assertions).
inline std::string as_ordinary_user(const std::function<std::string()>& step) {
    int out[2] = {-1, -1};
    const pid_t child = ::pipe(out) == 0 ? ::fork() : -1;
    if (child == 0) {
        if (::getuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        const std::string r = step();
        ::_exit(::write(out[1], r.data(), r.size()) == ssize_t(r.size()) ? 0 : 4);
    }
    ::close(out[1]);
    std::string r;
    char buf[4096];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;)
        r.append(buf, std::size_t(n));
    ::close(out[0]);
    int status = -1;
    if (child > 0) ::waitpid(child, &status, 0);
    return status == 0 ? r
                       : "the child as an ordinary user failed (" + std::to_string(status) + ")";
}

} // namespace zento_test
