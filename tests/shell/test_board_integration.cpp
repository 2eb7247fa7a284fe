// The main window with the real QSerialPort adapter against the simulated board on a
// pseudo-terminal: connect through the ports folder, frames arrive, "Height Zero" reaches the
// board and the altitude in the frames reads 0 afterwards.
#include "test_paths.h"
#include "window_fixture.h"

#include "../tools/zento-board/board_process.h"
#include "platform/serial/qt_serial_port.h"
#include "platform/widgets/widgets.h"
#include "shell/board_commands.h"
#include "shell/pulse_lamp.h"
#include "shell/telemetry_display.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cmath>
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
    board_test::Child board({exe, "--link", link, "--rate", "20", "--seed", "7"});
    ASSERT_TRUE(board.first_line()) << "zento-board printed no device: " << board.stderr_text();
    ASSERT_TRUE(wait_for([&] { return std::filesystem::is_symlink(link); }));

    QtSerialPortControl port(dir.qpath());
    port.list_devices = [] { return std::vector<std::string>{}; };
    Zento w(port, dir.qpath());
    w.exit_program = [] {};
    Altitudes altitudes;
    w.dispatch().add_sink(altitudes);
    const auto checked = [&] { return !w.connection().check_timer()->isActive(); };
    ASSERT_TRUE(wait_for(checked));

    w.ui.portSwitch->click();
    ASSERT_TRUE(wait_for(checked));
    ASSERT_TRUE(port.PortOpen()) << w.log().text().toStdString();
    EXPECT_EQ(w.ui.portSwitch->caption(), QStringLiteral("Connected"));

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
