// The main window with the real QSerialPort adapter against the simulated board on a
// pseudo-terminal: connect through the ports folder, frames arrive, "Height Zero" reaches the
// board and the altitude in the frames reads 0 afterwards.
#include "shell/zento.h"

#include "../tools/zento-board/board_process.h"
#include "platform/serial/qt_serial_port.h"
#include "platform/widgets/widgets.h"
#include "shell_test_util.h"
#include "telemetry/decoders.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <unistd.h>

using namespace zento;
using namespace shell_test;

namespace {

// The main window with the attitude frames decoded on the side.
class ObservedZento : public Zento {
  public:
    using Zento::Zento;
    void Rec_attitude(std::span<const std::uint8_t> rx_frame) override {
        if (const auto r = decode_attitude(rx_frame)) altitudes.push_back(r->altitude);
        Zento::Rec_attitude(rx_frame);
    }
    std::vector<float> altitudes;
};

} // namespace

TEST(BoardIntegration, FramesArriveAndHeightZeroReachesTheBoard) {
    const char* bin = std::getenv("ZENTO_BIN_DIR");
    const std::string exe = std::string(bin ? bin : "") + "/zento-board";
    if (!bin || ::access(exe.c_str(), X_OK) != 0)
        GTEST_SKIP() << "zento-board is not built (" << exe << "): build target zento-board";

    ProgramDir dir;
    std::filesystem::create_directories(dir.path() / "ports");
    const std::string link = (dir.path() / "ports" / "com1").string();
    board_test::Child board({exe, "--link", link, "--rate", "20", "--seed", "7"});
    ASSERT_TRUE(board.first_line()) << "zento-board printed no device: " << board.stderr_text();
    ASSERT_TRUE(wait_for([&] { return std::filesystem::is_symlink(link); }));

    QtSerialPortControl port(dir.qpath());
    port.list_devices = [] { return std::vector<std::string>{}; };
    ObservedZento w(port, dir.qpath());
    w.exit_program = [] {};
    ASSERT_TRUE(wait_for([&] { return !w.Timer4->isActive(); }));

    w.iSwitchLedX1->click();
    ASSERT_TRUE(wait_for([&] { return !w.Timer4->isActive(); }));
    ASSERT_TRUE(port.PortOpen()) << w.msg_text().toStdString();
    EXPECT_EQ(w.iSwitchLedX1->caption(), QStringLiteral("Connected"));

    ASSERT_TRUE(wait_for([&] { return w.altitudes.size() >= 10; }));
    EXPECT_TRUE(w.iLedRectangleX1->Active() || w.Timer2->isActive());
    EXPECT_GT(w.altitudes.back(), 20.0f) << "above sea level before the zero command";

    w.Command4->click(); // "Height Zero"
    EXPECT_TRUE(w.iLedRectangleX2->Active());
    // Frames already on their way may still carry the old altitude; look at later ones.
    QTest::qWait(500);
    const std::size_t after = w.altitudes.size();
    ASSERT_TRUE(wait_for([&] { return w.altitudes.size() >= after + 10; }));
    for (std::size_t i = after; i < w.altitudes.size(); ++i)
        EXPECT_LT(std::fabs(w.altitudes[i]), 2.0f) << "frame " << i;

    // Connected through the switch, the update rate reads about the board's 20 per second.
    QString rate;
    QObject::connect(w.Timer1, &QTimer::timeout, [&] { rate = w.Label22->text(); });
    ASSERT_TRUE(wait_for([&] { return !rate.isEmpty(); }));
    rate.clear();
    ASSERT_TRUE(wait_for([&] { return !rate.isEmpty(); }));
    EXPECT_TRUE(rate.endsWith(QStringLiteral(" FPS"))) << rate.toStdString();
    EXPECT_GT(rate.section(' ', 0, 0).toInt(), 0) << rate.toStdString();

    w.iSwitchLedX1->click();
    EXPECT_FALSE(port.PortOpen());
    EXPECT_FALSE(w.msg_text().contains(QStringLiteral("Check-Sum Error!")));
}
