// The main window with the real QSerialPort adapter against the simulated board on a
// pseudo-terminal: connect through the ports folder before the board is there, frames arrive,
// "Height Zero" reaches the board and the altitude in the frames reads 0 afterwards. The program
// itself on the board: ended by a signal as by Exit.
#include "test_paths.h"
#include "window_fixture.h"

#include "../tools/zento-board/board_process.h"
#include "platform/serial/device_lock.h"
#include "platform/serial/qt_serial_port.h"
#include "shell/board_commands.h"
#include "shell/pulse_lamp.h"
#include "shell/telemetry_display.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <unistd.h>

using namespace zento;
using namespace zento_test;

namespace {

// The altitudes of the attitude frames the window decoded.
struct Altitudes : TelemetrySink {
    void batch(const TelemetryBatch& b) override {
        for (const TelemetryFrame& f : b.frames)
            if (f.type == TelemetryFrame::Type::attitude) seen.push_back(f.attitude.altitude);
    }
    std::vector<float> seen;
};

} // namespace

TEST(BoardIntegration, FramesArriveAndHeightZeroReachesTheBoard) {
    const std::string exe = zento_test::bin_dir() + "/zento-board";
    if (::access(exe.c_str(), X_OK) != 0)
        GTEST_SKIP() << "zento-board is not built (" << exe << "): build target zento-board";

    ProgramDir dir;
    std::filesystem::create_directories(dir.path() / "ports");
    const std::string link = (dir.path() / "ports" / "com1").string();
    QtSerialPortControl port(dir.qpath());
    port.list_devices = [] { return std::vector<std::string>{}; };
    Zento w(port, dir.qpath());
    w.exit_program = [] {};
    Altitudes altitudes;
    w.dispatch().add_sink(altitudes);
    const auto checked = [&] { return !w.connection().check_timer()->isActive(); };
    ASSERT_TRUE(wait_for(checked));

    // Connecting before the board is there (`zento --connect` before it is plugged in) waits
    // for it and connects once it is, naming the device.
    w.ui.portSwitch->click();
    EXPECT_TRUE(w.connection().waitingForDevice()) << w.log().text().toStdString();
    board_test::Child board({exe, "--link", link, "--rate", "20", "--seed", "7"});
    const auto device = board.first_line();
    ASSERT_TRUE(device) << "zento-board printed no device: " << board.stderr_text();
    ASSERT_TRUE(wait_for([&] { return port.PortOpen(); })) << w.log().text().toStdString();
    ASSERT_TRUE(wait_for(checked));
    EXPECT_EQ(w.ui.portSwitch->caption(), QStringLiteral("Connected"));
    EXPECT_TRUE(w.log().text().contains(
        QString::fromStdString(">  Com1 appeared: connected\r\n>  Com1 is " + link + " -> " +
                               *device + "\r\n>  COM1--115200,n,8,1")))
        << w.log().text().toStdString();

    ASSERT_TRUE(wait_for([&] { return altitudes.seen.size() >= 10; }));
    EXPECT_TRUE(w.ui.rxdLamp->Active() || w.rxd().timer()->isActive());
    EXPECT_GT(altitudes.seen.back(), 20.0f) << "above sea level before the zero command";

    w.ui.heightZeroButton->click(); // "Height Zero"
    EXPECT_TRUE(w.ui.txdLamp->Active());
    // Frames already on their way may still carry the old altitude: from the first zeroed one
    // on, every frame reads about 0.
    const auto zeroed = [&] { return std::fabs(altitudes.seen.back()) < 2.0f; };
    ASSERT_TRUE(wait_for(zeroed));
    const std::size_t after = altitudes.seen.size() - 1;
    ASSERT_TRUE(wait_for([&] { return altitudes.seen.size() >= after + 10; }));
    for (std::size_t i = after; i < altitudes.seen.size(); ++i)
        EXPECT_LT(std::fabs(altitudes.seen[i]), 2.0f) << "frame " << i;

    // Connected through the switch, the update rate reads about the board's 20 per second.
    QString rate;
    QObject::connect(w.telemetry().rate_timer(), &QTimer::timeout,
                     [&] { rate = w.ui.updateRateLabel->text(); });
    ASSERT_TRUE(wait_for([&] { return !rate.isEmpty(); }));
    rate.clear();
    ASSERT_TRUE(wait_for([&] { return !rate.isEmpty(); }));
    EXPECT_TRUE(rate.endsWith(QStringLiteral(" FPS"))) << rate.toStdString();
    EXPECT_GT(rate.section(' ', 0, 0).toInt(), 0) << rate.toStdString();

    w.ui.portSwitch->click();
    EXPECT_FALSE(port.PortOpen());
    EXPECT_FALSE(w.log().text().contains(QStringLiteral("Check-Sum Error!")));
}

// The program itself, from a folder of its own (a hard link: the folder holds its Zento.ini and
// ports link), connected to the board and recording: SIGTERM, SIGINT and SIGHUP end it as Exit
// does: status 0, the port's lock file gone, both recording files closed and agreeing (the CSV
// is what zento-decode makes of the pcap). An unusable command line is refused even with
// --version.
TEST(ProgramProcess, TermIntAndHupEndItAsExitDoes) {
    namespace fs = std::filesystem;
    const std::string exe = bin_dir() + "/zento", board_exe = bin_dir() + "/zento-board";
    if (::access(exe.c_str(), X_OK) != 0) GTEST_SKIP() << "zento is not built in " << bin_dir();
    std::string err;
    EXPECT_EQ(board_test::run({exe, "--version", "--bogus"}, nullptr, &err), 2);
    EXPECT_EQ(err, "zento: unknown option \"--bogus\" (zento --help lists them)\n");

    TempDir tmp;
    const fs::path bin = tmp.path() / "bin", rec = tmp.path() / "rec";
    fs::create_directories(bin / "ports");
    fs::copy_file(exe, bin / "zento");
    write_file(bin / "Zento.ini", "[Record]\nFolder=" + rec.string() + "\n");
    board_test::Child board({board_exe, "--link", (bin / "ports" / "com1").string()});
    const auto device = board.first_line();
    ASSERT_TRUE(device) << board.stderr_text();
    const auto lock_files = [name = "/" + lock_file_name(*device)] { // where QSerialPort puts it
        int n = 0;
        for (const std::string d : {"/var/lock", "/run/lock", "/tmp", "/var/tmp"})
            n += board_test::exists(d + name);
        return n;
    };
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        fs::remove_all(rec);
        board_test::Child z({(bin / "zento").string(), "--connect", "--record"});
        fs::path csv;
        const auto rows = [&] {
            std::error_code ec;
            for (const auto& e : fs::directory_iterator(rec, ec))
                if (e.path().extension() == ".csv") csv = e.path();
            const std::string t = csv.empty() ? "" : read_text(csv);
            return std::count(t.begin(), t.end(), '\n');
        };
        ASSERT_TRUE(wait_for([&] { return rows() >= 10 && lock_files() > 0; }, 30000))
            << sig << ": " << z.stderr_text();
        z.signal(sig);
        EXPECT_EQ(z.wait(30000), 0) << sig << ": " << z.stderr_text();
        EXPECT_EQ(lock_files(), 0) << sig;
        std::string decoded;
        const fs::path pcap = fs::path(csv).replace_extension(".pcap");
        board_test::run({bin_dir() + "/zento-decode", "--csv", pcap.string()}, &decoded);
        EXPECT_TRUE(decoded == read_text(csv) && !decoded.empty()) << sig;
    }
}
