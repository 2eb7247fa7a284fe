#include "settings/ini_file.h"
#include "settings/port_config.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <unistd.h>

using namespace zento;
namespace fs = std::filesystem;

namespace {

// A fresh folder per test, removed afterwards.
class IniTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        dir = fs::temp_directory_path() /
              ("zento-ini-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(dir);
        file = dir / "Zento.ini";
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir, ec);
    }
    void put(const std::string& text) { put(file, text); }
    static void put(const fs::path& p, const std::string& text) {
        std::ofstream(p, std::ios::binary) << text;
    }
    std::string get() const {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string port() const { return Read_ini("COM", "Port", file); }
    std::string settings() const { return Read_ini("COM", "Settings", file); }
    std::size_t files_in_dir() const {
        return std::size_t(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
    }

    fs::path dir, file;
};

} // namespace

// ---- reading ---------------------------------------------------------------------------------

TEST_F(IniTest, ReadsThePlainForm) {
    put("[COM]\r\nPort=3\r\nSettings=9600,n,8,1\r\n");
    EXPECT_EQ(port(), "3");
    EXPECT_EQ(settings(), "9600,n,8,1"); // commas stay inside the value
}

TEST_F(IniTest, MissingFileSectionOrKeyGiveEmpty) {
    EXPECT_EQ(port(), "");
    put("[Other]\nPort=3\n");
    EXPECT_EQ(port(), "");
    put("[COM]\nBaud=3\n");
    EXPECT_EQ(port(), "");
    EXPECT_EQ(Read_ini("COM", "Port", dir / "no" / "such" / "Zento.ini"), "");
    put("Port=1\n[Other]\nPort=2\n[COM]\nSettings=a\n[Next]\nPort=3\n"); // not in [COM]
    EXPECT_EQ(port(), "");
    fs::remove(file);
    fs::create_directory(file); // a folder in place of the file
    EXPECT_EQ(port(), "");
}

TEST_F(IniTest, NamesMatchInAnyCase) {
    put("[com]\nPORT=4\nsettings=1200,e,7,2\n");
    EXPECT_EQ(port(), "4");
    EXPECT_EQ(settings(), "1200,e,7,2");
    EXPECT_EQ(Read_ini("Com", "pOrT", file), "4");
}

TEST_F(IniTest, BlanksAroundNamesEqualsAndValueAreTrimmed) {
    put("  [ COM ]  \n\t Port \t=\t 5 \t\nSettings =  19200, n, 8, 1  \n");
    EXPECT_EQ(port(), "5");
    EXPECT_EQ(settings(), "19200, n, 8, 1"); // inner blanks are part of the value
}

TEST_F(IniTest, LineEndsOfEveryKind) {
    put("[COM]\nPort=1\n");
    EXPECT_EQ(port(), "1");
    put("[COM]\r\nPort=2\r\n");
    EXPECT_EQ(port(), "2");
    put("[COM]\rPort=3\rSettings=x\r");
    EXPECT_EQ(port(), "3");
    EXPECT_EQ(settings(), "x");
    put("[COM]\r\nPort=6"); // last line without a line end
    EXPECT_EQ(port(), "6");
}

TEST_F(IniTest, MatchingOuterQuotesAreStripped) {
    put("[COM]\nSettings=\"9600,n,8,1\"\nPort='7'\nA=\"x'\nB=\"\nC=\"\"\n");
    EXPECT_EQ(settings(), "9600,n,8,1");
    EXPECT_EQ(port(), "7");
    EXPECT_EQ(Read_ini("COM", "A", file), "\"x'"); // not a matching pair
    EXPECT_EQ(Read_ini("COM", "B", file), "\"");
    EXPECT_EQ(Read_ini("COM", "C", file), "");
}

TEST_F(IniTest, FirstOfDuplicateKeysWinsAcrossDuplicateSections) {
    put("[COM]\nPort=1\nPort=2\n[COM]\nPort=3\nSettings=s2\n");
    EXPECT_EQ(port(), "1");
    EXPECT_EQ(settings(), "s2"); // a later section of the same name is searched too
}

TEST_F(IniTest, ByteOrderMarkIsIgnored) {
    put("\xEF\xBB\xBF[COM]\r\nPort=8\r\n");
    EXPECT_EQ(port(), "8");
}

TEST_F(IniTest, CommentsAndStrayLinesAreIgnored) {
    put("; settings\n[COM]\n; Port=9\njunk line\n=nameless\nPort=2\n# x=y\n");
    EXPECT_EQ(port(), "2");
    EXPECT_EQ(Read_ini("COM", "# x", file), "y"); // '#' is not a comment mark in this form
}

TEST_F(IniTest, AtMost254BytesComeBackWithoutSplittingUtf8) {
    put("[COM]\nSettings=" + std::string(300, 'a') + "\n");
    EXPECT_EQ(settings(), std::string(254, 'a'));
    // 253 ASCII bytes then a 3-byte character: the character would be cut, so it is left out.
    put("[COM]\nSettings=" + std::string(253, 'b') + "\xE2\x84\x83" + "\n");
    EXPECT_EQ(settings(), std::string(253, 'b'));
    put("[COM]\nSettings=" + std::string(251, 'c') + "\xE2\x84\x83" + "zz\n");
    EXPECT_EQ(settings(), std::string(251, 'c') + "\xE2\x84\x83");
}

TEST_F(IniTest, EmptyBinaryAndHugeFiles) {
    put("");
    EXPECT_EQ(port(), "");

    std::string binary;
    std::mt19937 gen(42);
    for (int i = 0; i < 100000; ++i)
        binary.push_back(char(gen() & 0xFF));
    put(binary);
    EXPECT_NO_THROW(port());

    // A NUL inside the value ends it.
    put(std::string("[COM]\nPort=12\0"
                    "34\n",
                    13));
    EXPECT_EQ(port(), "12");

    // 10 MB of filler before the section.
    std::string huge;
    huge.reserve(10'500'000);
    while (huge.size() < 10'000'000)
        huge += "filler=" + std::string(60, 'f') + "\r\n";
    put(huge + "[COM]\r\nPort=11\r\nSettings=57600,n,8,1\r\n");
    EXPECT_EQ(port(), "11");
    EXPECT_EQ(settings(), "57600,n,8,1");
    // One 10 MB line with no line end at all.
    put("[COM]\nPort=" + std::string(10'000'000, '9'));
    EXPECT_EQ(port(), std::string(254, '9'));
}

// ---- writing ---------------------------------------------------------------------------------

TEST_F(IniTest, WriteCreatesFileSectionAndKey) {
    ASSERT_TRUE(Write_ini("COM", "Port", "3", file).ok);
    ASSERT_TRUE(Write_ini("COM", "Settings", "9600,n,8,1", file).ok);
    EXPECT_EQ(port(), "3");
    EXPECT_EQ(settings(), "9600,n,8,1");
    EXPECT_EQ(get(), "[COM]\nPort=3\nSettings=9600,n,8,1\n");
    EXPECT_EQ(files_in_dir(), 1u) << "no temporary file may stay behind";
}

TEST_F(IniTest, WriteChangesTheOneKeyAndKeepsEverythingElse) {
    const std::string before = "\xEF\xBB\xBF; Zento settings\r\n"
                               "[Window]\r\n"
                               "Left=10\r\n"
                               "\r\n"
                               "[com]\r\n"
                               "  port =  1   \r\n"
                               "Settings=115200,n,8,1\r\n"
                               "; keep me\r\n"
                               "\r\n"
                               "[Other]\r\n"
                               "Port=99\r\n";
    put(before);
    ASSERT_TRUE(Write_ini("COM", "Port", "4", file).ok);
    std::string expected = before;
    expected.replace(expected.find("port =  1   "), 12, "port =  4");
    EXPECT_EQ(get(), expected);
    EXPECT_EQ(Read_ini("Other", "Port", file), "99");
}

TEST_F(IniTest, NewKeyGoesAtTheEndOfItsSectionBeforeBlankLines) {
    put("[COM]\nPort=2\n\n[Other]\nX=1\n");
    ASSERT_TRUE(Write_ini("COM", "Settings", "4800,n,8,1", file).ok);
    EXPECT_EQ(get(), "[COM]\nPort=2\nSettings=4800,n,8,1\n\n[Other]\nX=1\n");
}

TEST_F(IniTest, NewKeyFollowsTheFilesLineEnds) {
    put("[COM]\r\nPort=2");
    ASSERT_TRUE(Write_ini("COM", "Settings", "4800,n,8,1", file).ok);
    EXPECT_EQ(get(), "[COM]\r\nPort=2\r\nSettings=4800,n,8,1"); // still no final line end
    put("[A]\rX=1\r");
    ASSERT_TRUE(Write_ini("COM", "Port", "5", file).ok);
    EXPECT_EQ(get(), "[A]\rX=1\r[COM]\rPort=5\r");
    put("[A]\r\nX=1");
    ASSERT_TRUE(Write_ini("COM", "Port", "5", file).ok);
    EXPECT_EQ(get(), "[A]\r\nX=1\r\n[COM]\r\nPort=5\r\n");
}

TEST_F(IniTest, WriteReplacesTheFirstOfDuplicates) {
    put("[COM]\nPort=1\nPort=2\n");
    ASSERT_TRUE(Write_ini("COM", "Port", "3", file).ok);
    EXPECT_EQ(get(), "[COM]\nPort=3\nPort=2\n");
    EXPECT_EQ(port(), "3");
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
    if (::geteuid() == 0) GTEST_SKIP() << "running as root: folder permissions do not stop writes";
    put("[COM]\nPort=1\n");
    fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
    const IniWriteResult r = Write_ini("COM", "Port", "2", file);
    fs::permissions(dir, fs::perms::owner_all);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Permission denied"), std::string::npos) << r.error;
    EXPECT_EQ(get(), "[COM]\nPort=1\n");
    EXPECT_EQ(files_in_dir(), 1u);
}

TEST_F(IniTest, WriteFailsWhenTheFolderCannotHoldFiles) {
    put(dir / "plain", "not a folder");
    const fs::path inside = dir / "plain" / "Zento.ini";
    const IniWriteResult r = Write_ini("COM", "Port", "2", inside);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("Not a directory"), std::string::npos) << r.error;
    EXPECT_EQ(files_in_dir(), 1u);
}

TEST_F(IniTest, WriteIntoAFolderPathFails) {
    fs::create_directory(file);
    const IniWriteResult r = Write_ini("COM", "Port", "2", file);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find("folder"), std::string::npos) << r.error;
    EXPECT_TRUE(fs::is_directory(file));
}

TEST_F(IniTest, WriteGoesThroughASymbolicLink) {
    const fs::path real = dir / "real.ini";
    put(real, "[COM]\nPort=1\n");
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

// ---- the port configuration chosen at start-up ----------------------------------------------

TEST(PortConfig, BothKeysUsable) {
    const PortConfig c = choose_port_config("3", "9600,N,8,1");
    EXPECT_EQ(c.port, 3);
    EXPECT_EQ(c.settings, "9600,n,8,1");
    EXPECT_EQ(c.problem, "");
}

TEST(PortConfig, OneKeyAloneGivesTheDefaultsSilently) {
    for (auto [p, s] : {std::pair{"3", ""}, std::pair{"", "9600,n,8,1"}, std::pair{"", ""}}) {
        const PortConfig c = choose_port_config(p, s);
        EXPECT_EQ(c.port, 1);
        EXPECT_EQ(c.settings, "115200,n,8,1");
        EXPECT_EQ(c.problem, "");
    }
}

TEST(PortConfig, UnusableValuesGiveTheDefaultsAndOneLine) {
    PortConfig c = choose_port_config("abc", "9600,n,8,1");
    EXPECT_EQ(c.port, 1);
    EXPECT_EQ(c.settings, "115200,n,8,1");
    EXPECT_EQ(c.problem, "Zento.ini: Port \"abc\" is not a port number from 1 to 255; using Com1 "
                         "115200,n,8,1");
    c = choose_port_config("2", "9600,x,8,1");
    EXPECT_EQ(c.port, 1);
    EXPECT_NE(c.problem.find("parity \"x\""), std::string::npos) << c.problem;
    c = choose_port_config("0", "fast");
    EXPECT_NE(c.problem.find("Port \"0\""), std::string::npos) << c.problem;
    EXPECT_NE(c.problem.find("Settings"), std::string::npos) << c.problem;
    EXPECT_EQ(c.problem.find('\n'), std::string::npos);
}
