// The command line and where Zento.ini lives.
#include "settings/command_line.h"
#include "settings/settings_location.h"
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
    };
    for (const auto& [args, message] : bad) {
        const auto r = parse(args);
        ASSERT_TRUE(std::holds_alternative<std::string>(r)) << message;
        EXPECT_EQ(std::get<std::string>(r).rfind(message, 0), 0u) << std::get<std::string>(r);
    }
    EXPECT_TRUE(asks_help_or_version(std::vector<const char*>{"--port", "3", "--version"}));
    EXPECT_FALSE(asks_help_or_version(std::vector<const char*>{"--connect"}));
}

TEST(SettingsLocation, TheProgramsFolderOnlyWhenWritableAndHoldingAZentoIni) {
    zento_test::TempDir program, config;
    const auto chosen = [&] { return choose_settings_location(program.path(), config.path()); };
    EXPECT_EQ(chosen().ini_file, config.path() / "Zento.ini") << "no Zento.ini beside the program";
    EXPECT_FALSE(chosen().portable);
    EXPECT_EQ(describe_settings_file(chosen().ini_file),
              "No settings file yet: defaults until the first save to " +
                  (config.path() / "Zento.ini").string());

    program.put("Zento.ini", "[COM]\nPort=2\n");
    EXPECT_EQ(chosen().folder, program.path()) << "a portable copy";
    EXPECT_TRUE(chosen().portable);
    EXPECT_EQ(describe_settings_file(chosen().ini_file),
              "Settings from " + (program.path() / "Zento.ini").string());

    // An installed tree the user may not write: never used, even with a Zento.ini in it.
    ASSERT_EQ(::chmod(program.path().c_str(), 0555), 0);
    if (::access(program.path().c_str(), W_OK) == 0) GTEST_SKIP() << "root may write anyway";
    EXPECT_EQ(chosen().folder, config.path());
}
