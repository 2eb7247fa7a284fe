// The main window with the real QSerialPort adapter against the simulated board on a
// pseudo-terminal: connect through the ports folder, frames arrive, "Height Zero" reaches the
// board and the altitude in the frames reads 0 afterwards.
#include "shell/zento.h"

#include "platform/serial/qt_serial_port.h"
#include "platform/widgets/widgets.h"
#include "shell_test_util.h"
#include "telemetry/decoders.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace zento;
using namespace shell_test;

namespace {

// zento-board as a child process; stopped and reaped on destruction.
class Board {
  public:
    Board(const std::string& exe, const std::string& link) {
        int out[2];
        if (::pipe(out) != 0) return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        posix_spawn_file_actions_addopen(&fa, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
        std::vector<std::string> args{exe, "--link", link, "--rate", "20", "--seed", "7"};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, exe.c_str(), &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        ::close(out[1]);
        stdout_ = out[0];
    }
    ~Board() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            ::waitpid(pid_, &status, 0);
        }
        if (stdout_ >= 0) ::close(stdout_);
    }
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    bool started() const { return pid_ > 0; }
    // The first line of standard output: the device path, printed once the port is ready.
    std::string first_line() {
        std::string line;
        char c;
        while (::read(stdout_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

  private:
    pid_t pid_ = -1;
    int stdout_ = -1;
};

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
    Board board(exe, link);
    ASSERT_TRUE(board.started());
    const std::string device = board.first_line();
    ASSERT_FALSE(device.empty()) << "zento-board printed no device";
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
