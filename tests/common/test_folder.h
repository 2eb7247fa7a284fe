#pragma once
// A fresh folder for one test, removed with everything in it, and whole-file reads and writes.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

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

} // namespace zento_test
