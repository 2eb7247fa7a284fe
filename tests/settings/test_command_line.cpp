// The command line and where Zento.ini lives.
#include "settings/command_line.h"
#include "settings/port_config.h"
#include "settings/settings_location.h"
#include "settings/stream_settings.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace zento;

namespace {

std::variant<CommandLine, std::string> parse(std::vector<const char*> args) {
    return parse_command_line(args);
}

} // namespace

TEST(CommandLine, OptionsAreReadAndBadOnesNamedWithWhatIsWrong) {
    const auto ok = parse({"--port", "3", "--settings", " 9600 ,e,7,2", "--connect", "--record"});
    ASSERT_TRUE(std::holds_alternative<CommandLine>(ok)) << std::get<std::string>(ok);
    const CommandLine& c = std::get<CommandLine>(ok);
    EXPECT_EQ(c.port, 3);
    EXPECT_EQ(c.settings, "9600,e,7,2") << "canonical form";
    EXPECT_TRUE(c.connect && c.record);

    const auto play = parse({"--play", "a b.pcap", "--speed", "max"});
    ASSERT_TRUE(std::holds_alternative<CommandLine>(play));
    EXPECT_EQ(std::get<CommandLine>(play).play, "a b.pcap");
    EXPECT_EQ(std::get<CommandLine>(play).speed, 0.0);
    EXPECT_EQ(std::get<CommandLine>(parse({"--play", "x", "--speed", "5x"})).speed, 5.0);
    EXPECT_EQ(std::get<CommandLine>(parse({"--play", "x", "--udp", "[::1]:9870"})).udp,
              (StreamTarget{"::1", 9870}));

    const std::pair<std::vector<const char*>, std::string> bad[] = {
        {{"--port"}, "--port needs a port number"},
        {{"--port", "0"}, "--port \"0\" is not a port number from 1 to 255"},
        {{"--port", "300"}, "--port \"300\" is not a port number from 1 to 255"},
        {{"--settings", "fast"}, "--settings \"fast\": "},
        {{"--speed", "3"}, "--speed \"3\" is not one of 1, 2, 5, 10, max"},
        {{"--speed", "2"}, "--speed goes with --play"},
        {{"--play", "x", "--connect"}, "--connect and --play exclude each other"},
        {{"--play", ""}, "--play needs a recording file"},
        {{"--bogus"}, "unknown option \"--bogus\" (zento --help lists them)"},
        {{"--udp"}, "--udp needs HOST:PORT"},
        {{"--udp", "localhost"}, "--udp \"localhost\" is not HOST:PORT"},
    };
    for (const auto& [args, message] : bad) {
        const auto r = parse(args);
        ASSERT_TRUE(std::holds_alternative<std::string>(r)) << message;
        EXPECT_EQ(std::get<std::string>(r).rfind(message, 0), 0u) << std::get<std::string>(r);
    }
    EXPECT_TRUE(asks_help_or_version(std::vector<const char*>{"--port", "3", "--version"}));
    EXPECT_FALSE(asks_help_or_version(std::vector<const char*>{"--connect"}));
}

TEST(SettingsLocation, APortableCopyElseTheUsersFileWhichAReadOnlyCopySeeds) {
    namespace fs = std::filesystem;
    zento_test::TempDir tmp;
    const fs::path program = tmp.path(), beside = program / "Zento.ini";
    const fs::path config = program / "home" / ".config" / "zento", mine = config / "Zento.ini";
    const auto chosen = [&] { return choose_settings_location(program, config).settings(); };
    const std::string kept = "[COM]\nPort=3\nSettings=9600,n,8,1\n[Record]\nFolder=/data/rec\n";
    zento_test::write_file(beside, kept);
    EXPECT_EQ(describe_settings_file(chosen()), "Settings from " + beside.string()) << "portable";

    // Unpacked with its settings into a folder the user may not write: read; the first save
    // goes to the user's file (a fresh user's: no folder yet), a copy read from then on.
    fs::create_directories(program / "home");
    fs::permissions(program / "home", fs::perms::all);
    fs::permissions(program, fs::perms(0555));
    const std::string seen = zento_test::as_ordinary_user([&] {
        const PortConfig c = read_port_config(chosen());
        std::string r = describe_settings_file(chosen()) + "|" + std::to_string(c.port) + "|";
        const IniWriteResult w = save_setting(chosen(), "Options", "Reconnect", "0");
        return r + (w.ok ? describe_settings_file(chosen()) : w.error) + "|" +
               read_setting(chosen(), "Record", "Folder");
    });
    EXPECT_EQ(seen, "Settings from " + beside.string() +
                        " (a folder this user may not write); changes go to " + mine.string() +
                        "|3|Settings from " + mine.string() + "|/data/rec");
    EXPECT_EQ(zento_test::read_text(beside), kept);
}

// Where the values are streamed: HOST:PORT as typed, and as Zento.ini keeps it.
TEST(StreamSettings, AddressesAreCheckedAndKept) {
    const std::pair<const char*, StreamTarget> good[] = {
        {"127.0.0.1:9870", {"127.0.0.1", 9870}},
        {"plot-pc.local:1", {"plot-pc.local", 1}},
        {"[fe80::1%eth0]:65535", {"fe80::1%eth0", 65535}},
    };
    for (const auto& [text, target] : good) {
        const auto r = parse_stream_target(text);
        ASSERT_TRUE(std::holds_alternative<StreamTarget>(r)) << std::get<std::string>(r);
        EXPECT_EQ(std::get<StreamTarget>(r), target);
        EXPECT_EQ(target.text(), text) << "read back as written";
    }
    for (const char* bad : {"9870", ":9870", "host:0", "host:65536", "host:98x", "::1:9870",
                            "a b:1", "[]:1", "host:"})
        EXPECT_TRUE(std::holds_alternative<std::string>(parse_stream_target(bad))) << bad;

    zento_test::TempDir tmp;
    const SettingsFile ini(tmp.path() / "Zento.ini");
    EXPECT_FALSE(read_stream_settings(ini).send) << "off unless chosen";
    EXPECT_EQ(read_stream_settings(ini).target, StreamTarget{});
    ASSERT_TRUE(write_stream_settings(ini, true, {"::1", 9000}).ok);
    const StreamSettings kept = read_stream_settings(ini);
    EXPECT_TRUE(kept.send);
    EXPECT_EQ(kept.target, (StreamTarget{"::1", 9000}));
    tmp.put("Zento.ini", "[Stream]\nSend=1\nAddress=nowhere\n");
    const StreamSettings broken = read_stream_settings(ini);
    EXPECT_EQ(broken.target, StreamTarget{});
    EXPECT_EQ(broken.problem, "Zento.ini, [Stream] Address \"nowhere\" is not HOST:PORT (for "
                              "example 127.0.0.1:9870); 127.0.0.1:9870 is used instead");
}
