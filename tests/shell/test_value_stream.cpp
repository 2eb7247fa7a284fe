// "Stream values" in the main window: one UDP datagram of JSON per clean frame and none for a
// frame with a bad checksum, with the worked examples' values; one log line when it starts and
// one when sending fails; the choice made in its window kept in Zento.ini for the next start.
#include "window_fixture.h"

#include "../recording/recording_test_util.h"
#include "shell/value_stream.h"
#include "dialogs/stream_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QUdpSocket>

using namespace zento;
using namespace zento_test;

namespace {

class ValueStreamTest : public WindowTest {
  protected:
    void SetUp() override { ASSERT_TRUE(rx.bind(QHostAddress::LocalHost, 0)); }
    // The next n datagrams, in order.
    std::vector<std::string> receive(std::size_t n) {
        std::vector<std::string> got;
        wait_for([&] {
            while (rx.hasPendingDatagrams()) {
                QByteArray d(int(rx.pendingDatagramSize()), 0);
                rx.readDatagram(d.data(), d.size());
                got.push_back(d.toStdString());
            }
            return got.size() >= n;
        });
        return got;
    }
    int count(const QString& text) const { return int(log().count(text)); }
    QUdpSocket rx;
};

constexpr std::int64_t kT = 1765062900050000000; // 2025-12-06 23:15:00.05 UTC

} // namespace

TEST_F(ValueStreamTest, OneDatagramPerCleanFrameWithTheWorkedExamplesValues) {
    port.clock = [] { return kT; };
    make();
    window->stream().use_for_this_run({"127.0.0.1", rx.localPort()});
    connect_port();
    attitude(rec_test::kAttitudeExample);
    Bytes bad = build_frame(kTypeAttitude, rec_test::kAttitudeExample);
    bad[bad.size() - 2] ^= 0x01; // the checksum
    port.feed(bad);
    sensor(rec_test::kSensorExample);
    port.clock = [] { return kT + 1'000'000; };
    attitude(words(7, 0x80, 0x00)); // every field "0", never "-0"
    EXPECT_EQ(
        receive(3),
        (std::vector<std::string>{
            "{\"t\": 1765062900.050000, \"attitude\": {\"yaw\": -30, \"pitch\": 9, \"roll\": "
            "1.5, \"altitude\": 100, \"temperature\": 25, \"pressure\": 101320, \"rate\": 10}}\n",
            "{\"t\": 1765062900.050000, \"sensor\": {\"accel\": [16, -16, 16384], \"gyro\": "
            "[0, -5, 5], \"mag\": [300, -300, 0]}}\n",
            "{\"t\": 1765062900.051000, \"attitude\": {\"yaw\": 0, \"pitch\": 0, \"roll\": 0, "
            "\"altitude\": 0, \"temperature\": 0, \"pressure\": 0, \"rate\": 0}}\n"}))
        << "the frame with the bad checksum sends nothing";
    EXPECT_TRUE(log().contains(QStringLiteral("Check-Sum Error!")));
    const QString started = QStringLiteral("Stream values: each decoded frame as JSON to "
                                           "127.0.0.1:%1 (UDP)")
                                .arg(rx.localPort());
    EXPECT_EQ(count(started), 1) << log().toStdString();
    EXPECT_EQ(window->stream().sent(), 3u);
}

TEST_F(ValueStreamTest, AFailureIsSaidOnceAndTheChoiceIsKeptInZentoIni) {
    make();
    connect_port();
    window->stream().start({"127.0.0.1", 0}); // the system takes no datagram to port 0
    for (int i = 0; i < 3; ++i)
        attitude(rec_test::kAttitudeExample);
    EXPECT_EQ(count(QStringLiteral("Stream values: sending to 127.0.0.1:0 failed: ")), 1)
        << log().toStdString();

    window->ui.streamAction->trigger(); // Setting > "Stream values..."
    StreamDialog* d = window->stream().dialog();
    ASSERT_TRUE(d && d->isVisible());
    d->sendCheck->setChecked(true);
    d->hostEdit->setText(QStringLiteral("no host"));
    d->accept();
    EXPECT_TRUE(d->isVisible() && d->problemLabel->isVisible()) << "refused, the window stays";
    d->hostEdit->setText(QStringLiteral("localhost")); // looked up in the background
    d->portSpin->setValue(rx.localPort());
    d->accept();
    EXPECT_FALSE(d->isVisible());
    const std::string address = "localhost:" + std::to_string(rx.localPort());
    EXPECT_NE(read_text(dir.ini()).find("[Stream]\nSend=1\nAddress=" + address), std::string::npos)
        << read_text(dir.ini());

    port.setPortOpen(false);
    make(); // the next start streams as Zento.ini says
    const QString started = QString::fromStdString("Stream values: each decoded frame as JSON to " +
                                                   address + " (UDP)");
    ASSERT_TRUE(wait_for([&] { return count(started) == 1; })) << log().toStdString();
    connect_port();
    ASSERT_TRUE(wait_for([&] { // frames before the name is known are not sent
        attitude(rec_test::kAttitudeExample);
        return window->stream().sent() > 0;
    }));
    EXPECT_NE(receive(1).at(0).find("\"yaw\": -30"), std::string::npos);
}
