// zento-capture's command line and the order and moment of its commands.
#include "capture/capture_options.h"
#include "capture/command_plan.h"
#include "link/envelope.h"

#include <gtest/gtest.h>

using namespace zento;

namespace {

std::variant<CaptureOptions, std::string> parse(std::vector<const char*> args) {
    return parse_capture_options(args);
}

} // namespace

TEST(CaptureOptions, ReadAsWrittenAndBadOnesNamed) {
    const auto r = parse({"--port", "/dev/ttyUSB0", "--settings", "9600,e,7,2", "--seconds", "2.5",
                          "--out", "a/run.pcap", "--csv", "--command", "height-zero", "--command",
                          "gyro-bias", "--health", "h.json"});
    ASSERT_TRUE(std::holds_alternative<CaptureOptions>(r)) << std::get<std::string>(r);
    // (--seconds, --out, --csv, --health and --command on the running program:
    // test_zento_capture.) A path is a device, a number a port; commands keep their order.
    const CaptureOptions& o = std::get<CaptureOptions>(r);
    EXPECT_EQ(o.device, "/dev/ttyUSB0");
    EXPECT_FALSE(o.port);
    EXPECT_EQ(o.settings, "9600,e,7,2");
    EXPECT_EQ(o.commands, (std::vector<std::uint8_t>{kTypeHeightZero, kTypeGyroBias}));
    const CaptureOptions n = std::get<CaptureOptions>(parse({"--port", "3"}));
    EXPECT_EQ(n.port, 3);
    EXPECT_TRUE(n.device.empty() && n.out.empty() && !n.seconds && !n.csv && n.commands.empty());
    EXPECT_TRUE(std::get<CaptureOptions>(parse({"--version"})).version) << "no --port needed";

    const std::pair<std::vector<const char*>, std::string> bad[] = {
        {{}, "--port is needed"},
        {{"--port"}, "--port needs a port number or a device path"},
        {{"--port", "0"}, "--port \"0\" is not a port number from 1 to 255"},
        {{"--port", "1", "--settings", "fast"}, "--settings \"fast\": "},
        {{"--port", "1", "--seconds", "0"}, "--seconds needs a number of seconds, more than 0"},
        {{"--port", "1", "--seconds", "5s"}, "--seconds needs a number of seconds, more than 0"},
        {{"--port", "1", "--seconds", "nan"}, "--seconds needs a number of seconds, more than 0"},
        {{"--port", "1", "--out", "run.csv"}, "--out needs a file name ending in .pcap"},
        {{"--port", "1", "--out", ".pcap"}, "--out needs a file name ending in .pcap"},
        {{"--port", "1", "--command", "bias"}, "--command needs gyro-bias or height-zero (not"},
        {{"--port", "1", "--health"}, "--health needs a file"},
        {{"--port", "1", "x.pcap"}, "unknown option \"x.pcap\" (zento-capture --help lists"},
    };
    for (const auto& [args, message] : bad) {
        const auto e = parse(args);
        ASSERT_TRUE(std::holds_alternative<std::string>(e)) << message;
        EXPECT_EQ(std::get<std::string>(e).rfind(message, 0), 0u) << std::get<std::string>(e);
    }
}

// In order; the height zero at once, the bias once the board has lain still for 2 s, given up
// after 30 s of waiting; the commands after it go on either way.
TEST(CommandPlan, BiasWaitsForAStillBoardAndIsGivenUpAfterThirtySeconds) {
    using A = CommandPlan::Action;
    CommandPlan plan({kTypeHeightZero, kTypeGyroBias, kTypeGyroBias, kTypeHeightZero});
    const auto step = [&](double t, double still) {
        const CommandPlan::Step s = plan.next(t, still);
        return std::pair{s.action, s.command};
    };
    EXPECT_EQ(step(100, 0), std::pair(A::send, kTypeHeightZero));
    EXPECT_EQ(step(100, 0), std::pair(A::wait, kTypeGyroBias)) << "said once";
    EXPECT_EQ(step(110, 1.9), std::pair(A::none, std::uint8_t(0)));
    EXPECT_EQ(step(111, 2.0), std::pair(A::send, kTypeGyroBias));
    EXPECT_EQ(step(111, 0), std::pair(A::wait, kTypeGyroBias)) << "the next one waits afresh";
    EXPECT_EQ(step(140.9, 1.5), std::pair(A::none, std::uint8_t(0)));
    EXPECT_FALSE(plan.done());
    EXPECT_EQ(step(141, 1.5), std::pair(A::give_up, kTypeGyroBias));
    EXPECT_EQ(step(141, 0), std::pair(A::send, kTypeHeightZero));
    EXPECT_TRUE(plan.done());
    EXPECT_EQ(step(142, 5), std::pair(A::none, std::uint8_t(0)));
}
