#include "settings/ini_file.h"
#include "settings/port_config.h"

#include "test_folder.h"

#include <gtest/gtest.h>

#include <functional>

#include <string>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

using namespace zento;
namespace fs = std::filesystem;

namespace {

// A fresh folder per test, removed afterwards.
class IniTest : public ::testing::Test {
  protected:
    void put(const std::string& text) { tmp.put("Zento.ini", text); }
    std::string get() const { return zento_test::read_text(file); }
    std::string port() const { return Read_ini("COM", "Port", file); }
    std::size_t files_in_dir() const {
        return std::size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }

    zento_test::TempDir tmp;
    const fs::path dir = tmp.path(), file = dir / "Zento.ini";
};

} // namespace

// ---- reading ---------------------------------------------------------------------------------

TEST_F(IniTest, ReadsFilesAsPeopleWriteThem) {
    const std::string long_b = std::string(253, 'b'), long_c = std::string(251, 'c');
    const struct {
        std::string text;
        const char *key, *want;
        const char* section = "COM";
    } cases[] = {
        {"[COM]\r\nPort=3\r\nSettings=9600,n,8,1\r\n", "Port", "3"},
        {"[COM]\r\nPort=3\r\nSettings=9600,n,8,1\r\n", "Settings", "9600,n,8,1"},
        {"[Other]\nPort=3\n", "Port", ""},
        {"[COM]\nBaud=3\n", "Port", ""},
        {"Port=1\n[Other]\nPort=2\n[COM]\nSettings=a\n[Next]\nPort=3\n", "Port", ""},
        {"", "Port", ""},
        // Names in any case; blanks around names, "=" and the value trimmed, inner ones kept.
        {"[com]\nPORT=4\n", "pOrT", "4", "Com"},
        {"  [ COM ]  \n\t Port \t=\t 5 \t\n", "Port", "5"},
        {"[COM]\nSettings =  19200, n, 8, 1  \n", "Settings", "19200, n, 8, 1"},
        // Line ends of every kind, the last line with none.
        {"[COM]\nPort=1\n", "Port", "1"},
        {"[COM]\rPort=3\rSettings=x\r", "Settings", "x"},
        {"[COM]\r\nPort=6", "Port", "6"},
        // Matching outer quotes stripped, others kept.
        {"[COM]\nSettings=\"9600,n,8,1\"\n", "Settings", "9600,n,8,1"},
        {"[COM]\nPort='7'\n", "Port", "7"},
        {"[COM]\nA=\"x'\n", "A", "\"x'"},
        {"[COM]\nB=\"\n", "B", "\""},
        {"[COM]\nC=\"\"\n", "C", ""},
        // The first of duplicate keys wins; a later section of the same name is searched too.
        {"[COM]\nPort=1\nPort=2\n[COM]\nPort=3\nSettings=s2\n", "Port", "1"},
        {"[COM]\nPort=1\nPort=2\n[COM]\nPort=3\nSettings=s2\n", "Settings", "s2"},
        {"\xEF\xBB\xBF[COM]\r\nPort=8\r\n", "Port", "8"}, // byte order mark
        {"; x\n[COM]\n; Port=9\njunk line\n=nameless\nPort=2\n", "Port", "2"},
        {"[COM]\n# x=y\n", "# x", "y"}, // '#' is not a comment mark in this form
        {std::string("[COM]\nPort=12\0"
                     "34\n",
                     13),
         "Port", "12"}, // a NUL ends the value
        // At most 254 bytes, never a split UTF-8 character.
        {"[COM]\nS=" + std::string(300, 'a') + "\n", "S", nullptr},
        {"[COM]\nS=" + long_b + "\xE2\x84\x83\n", "S", nullptr},
        {"[COM]\nS=" + long_c + "\xE2\x84\x83zz\n", "S", nullptr},
    };
    const std::string long_want[] = {std::string(254, 'a'), long_b, long_c + "\xE2\x84\x83"};
    int n_long = 0;
    for (const auto& c : cases) {
        put(c.text);
        EXPECT_EQ(Read_ini(c.section, c.key, file), c.want ? c.want : long_want[n_long++])
            << c.text.substr(0, 60);
    }
}

TEST_F(IniTest, MissingFolderOrFileGivesEmpty) {
    EXPECT_EQ(port(), "");
    EXPECT_EQ(Read_ini("COM", "Port", dir / "no" / "such" / "Zento.ini"), "");
    fs::create_directory(file); // a folder in place of the file
    EXPECT_EQ(port(), "");
}

TEST_F(IniTest, BinaryAndHugeFiles) {
    std::string binary;
    std::mt19937 gen(42);
    for (int i = 0; i < 100000; ++i)
        binary.push_back(char(gen() & 0xFF));
    put(binary);
    EXPECT_NO_THROW(port());

    // 10 MB of filler before the section.
    std::string huge;
    huge.reserve(10'500'000);
    while (huge.size() < 10'000'000)
        huge += "filler=" + std::string(60, 'f') + "\r\n";
    put(huge + "[COM]\r\nPort=11\r\nSettings=57600,n,8,1\r\n");
    EXPECT_EQ(port(), "11");
    EXPECT_EQ(Read_ini("COM", "Settings", file), "57600,n,8,1");
    // One 10 MB line with no line end at all.
    put("[COM]\nPort=" + std::string(10'000'000, '9'));
    EXPECT_EQ(port(), std::string(254, '9'));
}

// ---- writing ---------------------------------------------------------------------------------

TEST_F(IniTest, WriteChangesOrAddsTheOneKeyAndKeepsTheRest) {
    const char* none = nullptr;
    const struct {
        const char* before;
        const char *key, *value, *after;
    } cases[] = {
        {none, "Port", "3", "[COM]\nPort=3\n"},
        {"[COM]\nPort=3\n", "Settings", "9600,n,8,1", "[COM]\nPort=3\nSettings=9600,n,8,1\n"},
        // A new key goes at the end of its section, before blank lines, in the file's line ends.
        {"[COM]\nPort=2\n\n[Other]\nX=1\n", "Settings", "4800,n,8,1",
         "[COM]\nPort=2\nSettings=4800,n,8,1\n\n[Other]\nX=1\n"},
        {"[COM]\r\nPort=2", "Settings", "4800,n,8,1", "[COM]\r\nPort=2\r\nSettings=4800,n,8,1"},
        {"[A]\rX=1\r", "Port", "5", "[A]\rX=1\r[COM]\rPort=5\r"},
        {"[A]\r\nX=1", "Port", "5", "[A]\r\nX=1\r\n[COM]\r\nPort=5\r\n"},
        {"[COM]\nPort=1\nPort=2\n", "Port", "3", "[COM]\nPort=3\nPort=2\n"}, // the first one
        {"\xEF\xBB\xBF; Zento\r\n[Window]\r\nLeft=10\r\n\r\n[com]\r\n  port =  1   \r\n"
         "Settings=115200,n,8,1\r\n; keep me\r\n\r\n[Other]\r\nPort=99\r\n",
         "Port", "4",
         "\xEF\xBB\xBF; Zento\r\n[Window]\r\nLeft=10\r\n\r\n[com]\r\n  port =  4\r\n"
         "Settings=115200,n,8,1\r\n; keep me\r\n\r\n[Other]\r\nPort=99\r\n"},
    };
    for (const auto& c : cases) {
        if (c.before) put(c.before);
        ASSERT_TRUE(Write_ini("COM", c.key, c.value, file).ok) << c.after;
        EXPECT_EQ(get(), c.after);
        EXPECT_EQ(Read_ini("COM", c.key, file), c.value);
        EXPECT_EQ(files_in_dir(), 1u) << "no temporary file may stay behind";
    }
}

TEST_F(IniTest, WriteKeepsABinaryOrHugeFileIntact) {
    std::string junk;
    std::mt19937 gen(7);
    for (int i = 0; i < 5000; ++i)
        junk.push_back(char(gen() & 0xFF));
    std::string huge = junk;
    while (huge.size() < 10'000'000)
        huge += "k=" + std::string(70, 'v') + "\n";
    put(huge);
    ASSERT_TRUE(Write_ini("COM", "Port", "9", file).ok);
    const std::string after = get();
    ASSERT_GE(after.size(), huge.size());
    EXPECT_EQ(after.compare(0, huge.size(), huge), 0) << "existing bytes must be kept";
    EXPECT_EQ(port(), "9");
}

TEST_F(IniTest, WriteRefusesWhatTheFileFormCannotHold) {
    put("[COM]\nPort=1\n");
    for (auto [s, k, v] :
         {std::tuple{"COM", "Port", "3\nSettings=x"}, std::tuple{"COM", "Po=rt", "3"},
          std::tuple{"CO]M", "Port", "3"}, std::tuple{"", "Port", "3"}, std::tuple{"COM", "", "3"},
          std::tuple{"COM", "[Port", "3"}, std::tuple{"COM", " Port", "3"}}) {
        const IniWriteResult r = Write_ini(s, k, v, file);
        EXPECT_FALSE(r.ok) << s << "/" << k;
        EXPECT_NE(r.error.find(file.string()), std::string::npos) << r.error;
    }
    EXPECT_EQ(get(), "[COM]\nPort=1\n");
}

TEST_F(IniTest, WriteFailureIsReportedAndLosesNothing) {
    put("[COM]\nPort=1\n");
    fs::permissions(dir, fs::perms(0555)); // a folder this user may not write
    const std::string error = zento_test::as_ordinary_user([&] {
        const IniWriteResult r = Write_ini("COM", "Port", "2", file);
        return r.ok ? "written" : r.error;
    });
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
    EXPECT_EQ(get(), "[COM]\nPort=1\n");
    EXPECT_EQ(files_in_dir(), 1u);
}

// (A folder in the file's place: the table of what is not a regular file, below.)
TEST_F(IniTest, WriteFailsWhereNoFileCanBe) {
    tmp.put("plain", "not a folder");
    const IniWriteResult r = Write_ini("COM", "Port", "2", dir / "plain" / "Zento.ini");
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Not a directory"), std::string::npos) << r.error;
    EXPECT_EQ(files_in_dir(), 1u);
}

TEST_F(IniTest, WriteGoesThroughASymbolicLink) {
    const fs::path real = tmp.put("real.ini", "[COM]\nPort=1\n");
    fs::create_symlink("real.ini", file);
    ASSERT_TRUE(Write_ini("COM", "Port", "2", file).ok);
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(Read_ini("COM", "Port", real), "2");
}

TEST_F(IniTest, WriteKeepsPermissions) {
    put("[COM]\nPort=1\n");
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_TRUE(Write_ini("COM", "Port", "2", file).ok);
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(IniTest, ReadOnlyFileIsReportedAndLeftAsItIs) {
    const std::string before = "[COM]\r\nPort=1\r\n; mine\r\n";
    put(before);
    const fs::path real = file;
    const fs::path link = dir / "link.ini";
    fs::create_symlink("Zento.ini", link);
    struct ::stat st_before {};
    ASSERT_EQ(::stat(file.c_str(), &st_before), 0);
    const fs::perms ro = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    fs::permissions(file, ro);
    for (const fs::path& target : {file, link}) {
        const IniWriteResult r = Write_ini("COM", "Port", "2", target);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error, "cannot write " + real.string() + ": the file is read-only");
    }
    struct ::stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_ino, st_before.st_ino) << "the file was replaced";
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all, ro);
    EXPECT_EQ(get(), before);
    EXPECT_EQ(files_in_dir(), 2u) << "no temporary file may stay behind";
}

// What stands in the settings file's place and is not a regular file is never read (a FIFO
// would block start-up before any window appears): the defaults are used and the log line names
// the file and the reason. Writing there is refused the same way.
TEST_F(IniTest, WhatIsNotARegularFileIsNamedWithTheReasonAndNotRead) {
    const struct {
        std::function<void()> make;
        std::string reason;
    } cases[] = {
        {[&] { fs::create_directory(file); }, "it is a folder"},
        {[&] { ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0); },
         "it is a named pipe (FIFO), not a regular file"},
        {[&] { fs::create_symlink("/dev/zero", file); }, "it is a device, not a regular file"},
        {[&] {
             put("[COM]\nPort=3\nSettings=9600,n,8,1\n");
             fs::resize_file(file, kIniFileMax + 1);
         },
         "it is larger than 16 MiB"},
    };
    for (const auto& c : cases) {
        fs::remove_all(file);
        c.make();
        const PortConfig config = read_port_config(file);
        EXPECT_EQ(config.port, 1);
        EXPECT_EQ(config.settings, "115200,n,8,1");
        EXPECT_EQ(config.problem.rfind("cannot read " + file.string() + ": " + c.reason, 0), 0u)
            << config.problem;
        EXPECT_TRUE(config.problem.ends_with("; using Com1 115200,n,8,1")) << config.problem;
        EXPECT_EQ(Read_ini("COM", "Port", file), "");

        const IniWriteResult w = Write_ini("COM", "Port", "2", file);
        EXPECT_FALSE(w.ok);
        EXPECT_NE(w.error.find(c.reason), std::string::npos) << w.error;
    }
    EXPECT_EQ(files_in_dir(), 1u) << "no temporary file may stay behind";
    // A missing file is not a problem: the defaults, silently.
    fs::remove_all(file);
    EXPECT_EQ(read_port_config(file).problem, "");
}

// ---- the port configuration chosen at start-up ----------------------------------------------

TEST(PortConfig, UsableKeysOrTheDefaultsWithOneLineSayingWhy) {
    const PortConfig good = choose_port_config("3", "9600,N,8,1");
    EXPECT_EQ(good.port, 3);
    EXPECT_EQ(good.settings, "9600,n,8,1");
    EXPECT_EQ(good.problem, "");
    // One key alone (or none): the defaults, silently.
    for (auto [p, s] : {std::pair{"3", ""}, std::pair{"", "9600,n,8,1"}, std::pair{"", ""}}) {
        const PortConfig c = choose_port_config(p, s);
        EXPECT_EQ(c.port, 1);
        EXPECT_EQ(c.settings, "115200,n,8,1");
        EXPECT_EQ(c.problem, "");
    }
    PortConfig c = choose_port_config("abc", "9600,n,8,1");
    EXPECT_EQ(c.port, 1);
    EXPECT_EQ(c.settings, "115200,n,8,1");
    EXPECT_EQ(c.problem, "Zento.ini: Port \"abc\" is not a port number from 1 to 255; using Com1 "
                         "115200,n,8,1");
    c = choose_port_config("2", "9600,x,8,1");
    EXPECT_EQ(c.port, 1);
    EXPECT_NE(c.problem.find("parity \"x\""), std::string::npos) << c.problem;
    c = choose_port_config("0", "fast"); // both named, on one line
    EXPECT_NE(c.problem.find("Port \"0\""), std::string::npos) << c.problem;
    EXPECT_NE(c.problem.find("Settings"), std::string::npos) << c.problem;
    EXPECT_EQ(c.problem.find('\n'), std::string::npos);
}
