// Input files are read only when they are regular files, and opening one never blocks: a FIFO,
// a folder, a device or a socket is refused with a reason before a byte is read. A hang here
// is caught by the test's timeout.
#include "platform/files/regular_file.h"

#include "test_folder.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace zento;
namespace fs = std::filesystem;

namespace {

std::string reason_for(const fs::path& p) {
    const FileContent c = read_regular_file(p, 1024);
    EXPECT_FALSE(c.bytes.has_value()) << p;
    return c.reason;
}

} // namespace

TEST(RegularFile, WhatIsNotARegularFileIsRefusedWithoutBlocking) {
    zento_test::TempDir dir;
    const fs::path fifo = dir.path() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink("fifo", dir.path() / "link-to-fifo");
    fs::create_directory(dir.path() / "folder");

    // A socket: bound, nobody connected.
    const fs::path sock = dir.path() / "sock";
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sock_path = sock.string();
    ASSERT_LT(sock_path.size(), sizeof addr.sun_path);
    std::copy(sock_path.begin(), sock_path.end(), addr.sun_path);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);

    const std::pair<fs::path, const char*> cases[] = {
        {fifo, "it is a named pipe (FIFO), not a regular file"},
        {dir.path() / "link-to-fifo", "it is a named pipe (FIFO), not a regular file"},
        {dir.path() / "folder", "it is a folder"},
        {sock, "it is a socket, not a regular file"},
        {"/dev/null", "it is a device, not a regular file"},
    };
    for (const auto& [path, reason] : cases) {
        EXPECT_EQ(reason_for(path), reason) << path;
        const RegularFile f = RegularFile::open(path);
        EXPECT_FALSE(f.ok());
        EXPECT_FALSE(f.missing());
    }
    ::close(s);
}

TEST(RegularFile, RegularFilesAndLinksToThemAreReadWholeWithinTheLimit) {
    zento_test::TempDir dir;
    const std::string bytes = std::string("a\0b\r\n", 5) + std::string(1019, 'x'); // 1024 bytes
    const fs::path file = dir.put("f.bin", bytes);
    fs::create_symlink("f.bin", dir.path() / "link");
    for (const fs::path& p : {file, dir.path() / "link"}) {
        const FileContent c = read_regular_file(p, 1024);
        ASSERT_TRUE(c.bytes.has_value()) << c.reason;
        EXPECT_EQ(*c.bytes, bytes);
        EXPECT_EQ(c.reason, "");
    }
    EXPECT_EQ(read_regular_file(dir.put("empty", ""), 0).bytes, std::string());

    // One byte over the limit: refused, with the limit and the size.
    EXPECT_EQ(read_regular_file(file, 1023).reason, "it is larger than 1023 bytes (1.0 KiB)");
    const fs::path sparse = dir.put("sparse", "");
    fs::resize_file(sparse, (std::uint64_t(3) << 30) + 5); // 3 GiB of nothing on disk
    EXPECT_EQ(read_regular_file(sparse, std::uint64_t(64) << 20).reason,
              "it is larger than 64 MiB (3072.0 MiB)");

    // The descriptor reads the same bytes in pieces, then reports the end.
    RegularFile f = RegularFile::open(file);
    ASSERT_TRUE(f.ok());
    EXPECT_EQ(f.size(), 1024u);
    std::string got(1024, '\0');
    EXPECT_EQ(f.read(got.data(), 1000), 1000);
    EXPECT_EQ(f.read(got.data() + 1000, 100), 24);
    EXPECT_EQ(f.read(got.data(), 1), 0);
    EXPECT_EQ(got, bytes);
}

TEST(RegularFile, MissingFilesAreToldApartFromUnreadableOnes) {
    zento_test::TempDir dir;
    const FileContent missing = read_regular_file(dir.path() / "none", 10);
    EXPECT_TRUE(missing.missing);
    EXPECT_EQ(missing.reason, "No such file or directory");

    const fs::path plain = dir.put("plain", "x");
    const FileContent through_file = read_regular_file(plain / "inside", 10);
    EXPECT_FALSE(through_file.missing);
    EXPECT_EQ(through_file.reason, "Not a directory");

    fs::permissions(plain, fs::perms::none); // as a user: root would read it anyway
    EXPECT_EQ(zento_test::as_ordinary_user([&] {
                  const FileContent denied = read_regular_file(plain, 10);
                  return (denied.missing ? "missing: " : "") + denied.reason;
              }),
              "Permission denied");
}
