// The main window driven through the serial test double: start-up, message log, port
// connection, port settings window, lamps, commands, update rate, and the failure cases.
#include "shell/zento.h"

#include "instruments/attitude_indicator.h"
#include "telemetry/strip_chart.h"
#include "view3d/big3d.h"

#include "link/dialog2.h"
#include "platform/serial/mock_serial_port.h"
#include "platform/widgets/widgets.h"
#include "settings/comm_set.h"
#include "settings/ini_file.h"
#include "shell_test_util.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace zento;
using namespace shell_test;

namespace {

const QString kGreeting = QStringLiteral("1:  Tavro AHRS DEMO starts successfully!\r\n"
                                         ">  --------    Start    --------\r\n"
                                         ">  --1. Check the serial port settings are correct --\r\n"
                                         ">  --2. Click to open port button to receive data\r\n"
                                         ">  ------------------------------");

class ZentoTest : public ::testing::Test {
  protected:
    Zento& make() {
        window = std::make_unique<Zento>(port, dir.qpath());
        window->exit_program = [this] { ++exits; };
        return *window;
    }
    QString log() const { return window->msg_text(); }
    QString last_line() const { return lines_of(log()).back(); }
    int lines() const { return int(lines_of(log()).size()); }
    // Waits for the port check that follows start-up or a switch use.
    bool wait_check() {
        return wait_for([this] { return !window->Timer4->isActive(); });
    }
    void connect_port() {
        window->iSwitchLedX1->click();
        ASSERT_TRUE(wait_check());
        ASSERT_TRUE(port.PortOpen());
        ASSERT_EQ(last_line(), QStringLiteral(">  Open Com Port Success ..."));
    }
    // `pulse` every `gap_ms` keeps `lamp` lit without a flicker (when the machine kept the
    // pace); after the last it goes out, not before `hold_ms`, and its timer stops.
    void expect_lamp_holds(Lamp* lamp, QTimer* timer, const std::function<void()>& pulse,
                           int pulses, int gap_ms, int hold_ms) {
        int went_out = 0;
        const auto c =
            QObject::connect(lamp, &Lamp::activeChanged, [&](bool on) { went_out += !on; });
        QElapsedTimer gaps;
        qint64 longest_gap = 0;
        gaps.start();
        for (int i = 0; i < pulses; ++i) {
            pulse();
            EXPECT_TRUE(lamp->Active());
            longest_gap = std::max(longest_gap, gaps.restart());
            if (i + 1 < pulses) QTest::qWait(gap_ms);
        }
        if (longest_gap < hold_ms - 50) {
            EXPECT_EQ(went_out, 0) << "the lamp flickered";
        }
        QElapsedTimer since_last;
        since_last.start();
        ASSERT_TRUE(wait_for([&] { return !lamp->Active(); }));
        EXPECT_GE(since_last.elapsed() + 5, hold_ms - 50) << "went out too early";
        EXPECT_FALSE(timer->isActive());
        QObject::disconnect(c);
    }

    ProgramDir dir;
    MockSerialPort port;
    std::unique_ptr<Zento> window;
    int exits = 0;
};

} // namespace

// ---- start-up ---------------------------------------------------------------------------------

TEST_F(ZentoTest, StartupPreparesThePortWritesTheGreetingAndChecks200msLater) {
    Zento& w = make();
    EXPECT_EQ(w.msg_text(), kGreeting);
    EXPECT_EQ(w.Text_msg->toPlainText(), QString(kGreeting).replace(QStringLiteral("\r\n"), "\n"));
    EXPECT_EQ(w.msg_count, 5);
    const std::vector<std::string> expected{
        "InputLen=0",   "InputMode=1", "InBufferCount=0",      "OutBufferCount=0",
        "RThreshold=1", "CommPort=1",  "Settings=115200,n,8,1"};
    EXPECT_EQ(port.calls, expected);
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(port.Settings(), "115200,n,8,1");
    EXPECT_FALSE(std::filesystem::exists(dir.ini())) << "start-up never writes the file";
    EXPECT_EQ(w.iSwitchLedX1->caption(), QStringLiteral("Connect AHRS"));
    EXPECT_EQ(w.Label22->text(), QStringLiteral("FPS"));
    EXPECT_TRUE(w.Msg_Led->Active());
    EXPECT_TRUE(w.Timer4->isActive());
    EXPECT_TRUE(w.Timer1->isActive());

    ASSERT_TRUE(wait_check());
    EXPECT_EQ(w.msg_text(), kGreeting + QStringLiteral("\r\n>  Com Port Closed ..."));
    EXPECT_EQ(w.iSwitchLedX1->caption(), QStringLiteral("Port Close"));
    EXPECT_FALSE(w.iSwitchLedX1->Active());
    ASSERT_TRUE(wait_for([&] { return w.Label22->text() == QStringLiteral("0 FPS"); }));
}

// The choosers' start-up divisors and the check boxes show in the telemetry tests' chart values.
TEST_F(ZentoTest, ChooserEntries) {
    QStringList entries;
    for (int i = 0; i < make().Combo4->count(); ++i)
        entries << window->Combo4->itemText(i);
    EXPECT_EQ(entries, QStringList({"1", "1/2", "1/5", "1/10", "1/20", "1/50", "1/100"}));
}

TEST_F(ZentoTest, StartupAppliesTheSettingsFileOrSaysWhatWasUnusable) {
    dir.write_ini("[COM]\r\nPort=3\r\nSettings=9600,n,8,1\r\n");
    EXPECT_EQ(make().msg_text(), kGreeting);
    EXPECT_EQ(port.CommPort(), 3);
    EXPECT_EQ(port.Settings(), "9600,n,8,1");
    window.reset();

    dir.write_ini("[COM]\nPort=300\nSettings=9600,n,8,1\n");
    Zento& w = make();
    EXPECT_EQ(port.CommPort(), 1);
    EXPECT_EQ(port.Settings(), "115200,n,8,1");
    EXPECT_EQ(w.msg_text(),
              kGreeting + QStringLiteral("\r\n>  Zento.ini: Port \"300\" is not a port "
                                         "number from 1 to 255; using Com1 115200,n,8,1"));
    EXPECT_EQ(w.msg_count, 6);
    EXPECT_EQ(Read_ini("COM", "Port", dir.ini()), "300") << "the file is left as it was";
}

// ---- message log ------------------------------------------------------------------------------

TEST_F(ZentoTest, ClearThenMessagesAreMarkedNotNumbered) {
    Zento& w = make();
    w.Command3->click();
    EXPECT_EQ(w.msg_text(), QStringLiteral("Clear...."));
    EXPECT_EQ(w.msg_count, 5) << "Clear does not touch the count";
    w.Show_msg("after");
    w.Show_msg("");
    w.Show_msg(QStringLiteral("温度 ℃"));
    w.Show_msg(std::string_view("utf-8 \xE2\x84\x83"));
    EXPECT_EQ(w.msg_text(),
              QStringLiteral("Clear....\r\n>  after\r\n>  \r\n>  温度 ℃\r\n>  utf-8 ℃"));
    EXPECT_EQ(w.msg_count, 9);
}

TEST_F(ZentoTest, LogKeepsTheNewestLinesWithinItsBound) {
    Zento& w = make();
    for (int i = 0; i < Zento::kLogMaxLines + 50; ++i)
        w.Show_msg(QString::number(i));
    const QStringList l = lines_of(w.msg_text());
    EXPECT_EQ(l.size(), Zento::kLogMaxLines);
    EXPECT_EQ(l.back(), QStringLiteral(">  %1").arg(Zento::kLogMaxLines + 49));
    EXPECT_EQ(w.Text_msg->document()->blockCount(), Zento::kLogMaxLines);
}

TEST_F(ZentoTest, MessageLampStaysLitWhileMessagesComeAndGoesOutAfter400ms) {
    Zento& w = make();
    ASSERT_TRUE(wait_for([&] { return !w.Msg_Led->Active(); }));
    expect_lamp_holds(
        w.Msg_Led, w.LED_Time, [&] { w.Show_msg("burst"); }, 10, 30, 400);
}

// ---- port connection --------------------------------------------------------------------------

TEST_F(ZentoTest, SwitchOpensAndReportsThenClosesAndReports) {
    Zento& w = make();
    ASSERT_TRUE(wait_check());
    w.iSwitchLedX1->click();
    EXPECT_TRUE(port.PortOpen());
    EXPECT_EQ(last_line(), QStringLiteral(">  Try to open Com Port ..."));
    EXPECT_EQ(w.iSwitchLedX1->caption(), QStringLiteral("Port Close"))
        << "changes only at the check";
    ASSERT_TRUE(wait_check());
    QStringList l = lines_of(log());
    EXPECT_EQ(l.mid(l.size() - 3),
              QStringList({">  Try to open Com Port ...", ">  COM1--115200,n,8,1",
                           ">  Open Com Port Success ..."}));
    EXPECT_EQ(w.iSwitchLedX1->caption(), QStringLiteral("Connected"));
    EXPECT_TRUE(w.iSwitchLedX1->Active());

    w.iSwitchLedX1->click();
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(last_line(), QStringLiteral(">  Disconnect ..."));
    ASSERT_TRUE(wait_check());
    EXPECT_EQ(last_line(), QStringLiteral(">  Com Port Closed ..."));
    EXPECT_EQ(w.iSwitchLedX1->caption(), QStringLiteral("Port Close"));
    EXPECT_FALSE(w.iSwitchLedX1->Active());
}

TEST_F(ZentoTest, TwoSwitchUsesInQuickSuccessionGiveOneCheck) {
    Zento& w = make();
    ASSERT_TRUE(wait_check());
    const int before = lines();
    w.iSwitchLedX1->click();
    w.iSwitchLedX1->click();
    QTest::qWait(800);
    const QStringList l = lines_of(log()).mid(before);
    EXPECT_EQ(l, QStringList({">  Try to open Com Port ...", ">  Disconnect ...",
                              ">  Com Port Closed ..."}));
    EXPECT_EQ(port.opens, 1);
}

TEST_F(ZentoTest, SwitchResetsTheReceiver) {
    Zento& w = make();
    connect_port();
    const std::vector<std::uint8_t> f = attitude_frame();
    port.feed(std::span(f).first(8)); // half a frame
    EXPECT_TRUE(w.receiver.rx_on);
    w.iSwitchLedX1->click(); // close
    EXPECT_FALSE(w.receiver.rx_on);
    EXPECT_EQ(w.receiver.rx_count, 0);
}

TEST_F(ZentoTest, OpenFailureLogsTheDeviceAndReasonThenClosed) {
    Zento& w = make();
    ASSERT_TRUE(wait_check());
    port.fail_opens("Permission denied");
    const int before = lines();
    w.iSwitchLedX1->click();
    ASSERT_TRUE(wait_check());
    EXPECT_EQ(
        lines_of(log()).mid(before),
        QStringList({">  Try to open Com Port ...", ">  Com1 (/dev/ttyMOCK0): Permission denied",
                     ">  Com Port Closed ..."}));
    EXPECT_EQ(w.iSwitchLedX1->caption(), QStringLiteral("Port Close"));
    EXPECT_FALSE(w.iSwitchLedX1->Active());
}

TEST_F(ZentoTest, UnpluggedPortIsNoticedClosedAndReportedOnceThenReconnects) {
    Zento& w = make();
    connect_port();
    port.feed(attitude_frame());
    EXPECT_EQ(w.frame_count, 1);
    const int before = lines();
    port.unplug("Input/output error");
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(
        lines_of(log()).mid(before),
        QStringList({">  Com1 (/dev/ttyMOCK0): Input/output error", ">  Com Port Closed ..."}));
    EXPECT_EQ(w.iSwitchLedX1->caption(), QStringLiteral("Port Close"));
    EXPECT_FALSE(w.iSwitchLedX1->Active());
    // No stream of errors while it stays away.
    QTest::qWait(500);
    EXPECT_EQ(lines(), before + 2);
    EXPECT_FALSE(port.feed(attitude_frame())) << "nothing arrives from a closed port";

    // While away, connecting fails with a reason; once back, it works.
    w.iSwitchLedX1->click();
    EXPECT_EQ(last_line(), QStringLiteral(">  Com1 (/dev/ttyMOCK0): No such file or directory"));
    ASSERT_TRUE(wait_check());
    port.plug();
    connect_port();
    const std::int16_t counted = w.frame_count;
    port.feed(attitude_frame());
    EXPECT_EQ(w.frame_count, counted + 1);
}

TEST_F(ZentoTest, ComPortWhileConnectedLogsShowsClosesAndReports) {
    Zento& w = make();
    connect_port();
    const int before = lines();
    w.com_set->trigger();
    EXPECT_FALSE(port.PortOpen());
    ASSERT_NE(w.comm_set_window(), nullptr);
    EXPECT_TRUE(w.comm_set_window()->isVisible());
    EXPECT_EQ(w.comm_set_window()->windowTitle(),
              QStringLiteral("Current Setting [ Com1 115200,n,8,1 ]"));
    EXPECT_EQ(last_line(), QStringLiteral(">  115200,n,8,1"));
    ASSERT_TRUE(wait_check());
    EXPECT_EQ(lines_of(log()).mid(before),
              QStringList({">  115200,n,8,1", ">  Com Port Closed ..."}));
    EXPECT_EQ(w.iSwitchLedX1->caption(), QStringLiteral("Port Close"));
}

TEST_F(ZentoTest, ExitItemsAndTheCloseBoxCloseThePortAndEndTheProgram) {
    Zento& w = make();
    int expected = 0;
    for (const std::function<void()>& end : std::initializer_list<std::function<void()>>{
             [&] { w.Exit->trigger(); }, [&] { w.ExitC->trigger(); },
             [&] { w.show(), w.close(); }}) {
        connect_port();
        end();
        EXPECT_FALSE(port.PortOpen());
        EXPECT_EQ(exits, ++expected);
        EXPECT_EQ(port.calls.back(), "PortOpen=false");
    }
}

// ---- port settings window ---------------------------------------------------------------------

TEST_F(ZentoTest, SettingsWindowLoadsOnceWithFixedListPositions) {
    dir.write_ini("[COM]\nPort=2\nSettings=9600,e,7,2\n");
    Zento& w = make();
    w.com_set->trigger();
    CommSet* c = w.comm_set_window();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->windowTitle(), QStringLiteral("Current Setting [ Com2 9600,e,7,2 ]"));
    // The lists stand at their fixed places, not at the file's values (only the port does).
    EXPECT_EQ(c->Combo1->currentIndex(), 1);
    EXPECT_EQ(c->Combo2->currentText(), QStringLiteral("115200"));
    EXPECT_EQ(c->Combo3->currentText(), QStringLiteral("8 bits"));
    EXPECT_EQ(c->Combo4->currentText(), QStringLiteral("1 bit"));
    EXPECT_EQ(c->Combo1->count(), 14);
    EXPECT_EQ(c->Combo1->itemText(13), QStringLiteral("Com 14  (ttyMOCK13)"));
    QStringList bauds;
    for (int i = 0; i < c->Combo2->count(); ++i)
        bauds << c->Combo2->itemText(i);
    EXPECT_EQ(bauds, QStringList({"600", "1200", "2400", "4800", "9600", "14400", "19200", "38400",
                                  "56000", "57600", "115200"}));
}

TEST_F(ZentoTest, SettingsOkAppliesWritesAndLogs) {
    Zento& w = make();
    w.com_set->trigger();
    CommSet* c = w.comm_set_window();
    c->Combo1->setCurrentIndex(2);
    c->Combo2->setCurrentIndex(c->Combo2->findText(QStringLiteral("9600")));
    c->Combo3->setCurrentIndex(3);
    c->Combo4->setCurrentIndex(0);
    c->Com_set_O->click();
    EXPECT_EQ(port.CommPort(), 3);
    EXPECT_EQ(port.Settings(), "9600,n,8,1");
    EXPECT_EQ(Read_ini("COM", "Port", dir.ini()), "3");
    EXPECT_EQ(Read_ini("COM", "Settings", dir.ini()), "9600,n,8,1");
    EXPECT_EQ(last_line(), QStringLiteral(">  Current Setting [ Com3 9600,n,8,1 ]"));
    EXPECT_EQ(c->windowTitle(), QStringLiteral("Current Setting [ Com3 9600,n,8,1 ]"));
    EXPECT_FALSE(c->isVisible());
    EXPECT_FALSE(port.PortOpen()) << "the port stays closed until the switch is used";

    // The next start reads them back.
    window.reset();
    make();
    EXPECT_EQ(port.CommPort(), 3);
    EXPECT_EQ(port.Settings(), "9600,n,8,1");
}

TEST_F(ZentoTest, SettingsDefaultSetsListsOnlyAndCanceledKeepsThemForNextTime) {
    Zento& w = make();
    w.com_set->trigger();
    CommSet* c = w.comm_set_window();
    c->Combo1->setCurrentIndex(4);
    c->Combo2->setCurrentIndex(2);
    c->Combo3->setCurrentIndex(0);
    c->Combo4->setCurrentIndex(2);
    c->Command1->click(); // "Default"
    EXPECT_EQ(c->Combo1->currentIndex(), 0);
    EXPECT_EQ(c->Combo2->currentIndex(), 10);
    EXPECT_EQ(c->Combo3->currentIndex(), 3);
    EXPECT_EQ(c->Combo4->currentIndex(), 0);
    EXPECT_TRUE(c->isVisible());

    c->Combo1->setCurrentIndex(6);
    c->Combo2->setCurrentIndex(1);
    c->Comm_set_C->click(); // "Canceled"
    EXPECT_FALSE(c->isVisible());
    EXPECT_EQ(port.CommPort(), 1);
    EXPECT_EQ(port.Settings(), "115200,n,8,1");
    EXPECT_FALSE(std::filesystem::exists(dir.ini()));

    w.com_set->trigger();
    EXPECT_EQ(w.comm_set_window(), c) << "one window, kept between showings";
    EXPECT_EQ(c->Combo1->currentIndex(), 6);
    EXPECT_EQ(c->Combo2->currentIndex(), 1);
    EXPECT_EQ(c->windowTitle(), QStringLiteral("Current Setting [ Com1 115200,n,8,1 ]"));
}

TEST_F(ZentoTest, SettingsOkWhileConnectedClosesFirstThenApplies) {
    Zento& w = make();
    w.com_set->trigger();
    ASSERT_TRUE(wait_check());
    connect_port(); // reconnected while the settings window is shown
    CommSet* c = w.comm_set_window();
    c->Combo1->setCurrentIndex(1);
    c->Combo2->setCurrentIndex(c->Combo2->findText(QStringLiteral("57600")));
    port.calls.clear();
    c->Com_set_O->click();
    EXPECT_FALSE(port.PortOpen());
    ASSERT_GE(port.calls.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(port.calls.begin(), port.calls.begin() + 3),
              (std::vector<std::string>{"PortOpen=false", "CommPort=2", "Settings=57600,n,8,1"}));
    ASSERT_TRUE(wait_check());
    EXPECT_EQ(last_line(), QStringLiteral(">  Com Port Closed ..."));
    EXPECT_EQ(w.iSwitchLedX1->caption(), QStringLiteral("Port Close"));
}

TEST_F(ZentoTest, SettingsFileThatCannotBeWrittenIsLogged) {
    std::filesystem::create_directory(dir.ini()); // a folder where the file should be
    Zento& w = make();
    w.com_set->trigger();
    w.comm_set_window()->Combo1->setCurrentIndex(1);
    const int before = lines();
    w.comm_set_window()->Com_set_O->click();
    const QStringList l = lines_of(log()).mid(before);
    ASSERT_EQ(l.size(), 2);
    EXPECT_EQ(l[0], QStringLiteral(">  Current Setting [ Com2 115200,n,8,1 ]"));
    EXPECT_TRUE(l[1].startsWith(QStringLiteral(">  Zento.ini was not saved: cannot read ")));
    EXPECT_TRUE(l[1].contains(QStringLiteral("folder"))) << l[1].toStdString();
    EXPECT_EQ(port.CommPort(), 2) << "applied to the port all the same";
}

// ---- lamps ------------------------------------------------------------------------------------

TEST_F(ZentoTest, SteadyStreamKeepsRxdLitAndItGoesOut300msAfterTheLastEndByte) {
    Zento& w = make();
    connect_port();
    const std::vector<std::uint8_t> f = attitude_frame();
    expect_lamp_holds(
        w.iLedRectangleX1, w.Timer2, [&] { port.feed(f); }, 20, 50, 300);
}

TEST_F(ZentoTest, OneCommandLightsTxdFor200ms) {
    Zento& w = make();
    connect_port();
    expect_lamp_holds(
        w.iLedRectangleX2, w.Timer3, [&] { w.Command4->click(); }, 1, 0, 200);
}

// ---- commands ---------------------------------------------------------------------------------

TEST_F(ZentoTest, HeightZeroSendsItsFrameInOnePiece) {
    Zento& w = make();
    connect_port();
    w.Command4->click();
    w.Command4->click();
    const std::vector<std::uint8_t> e2{0xA5, 0x5A, 0x04, 0xE2, 0xE6, 0xAA};
    ASSERT_EQ(port.writes.size(), 2u);
    EXPECT_EQ(port.writes[0], e2);
    EXPECT_EQ(port.writes[1], e2);
}

TEST_F(ZentoTest, MarkedBiasConfirmsThenSendsAndHides) {
    Zento& w = make();
    connect_port();
    w.Command1->click();
    Dialog2* d = w.dialog2();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(d->isModal());
    EXPECT_EQ(d->windowTitle(), QStringLiteral("Gyroscope initialization"));
    w.Command1->click();
    EXPECT_EQ(w.findChildren<Dialog2*>().size(), 1) << "never more than one";
    d->CancelButton->click();
    EXPECT_FALSE(d->isVisible());
    EXPECT_TRUE(port.writes.empty()) << "nothing goes out before Start!";

    w.Command1->click();
    d->OKButton->click();
    EXPECT_FALSE(d->isVisible());
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0], (std::vector<std::uint8_t>{0xA5, 0x5A, 0x04, 0xE0, 0xE4, 0xAA}));
    EXPECT_TRUE(w.iLedRectangleX2->Active());
}

TEST_F(ZentoTest, NothingIsSentWhileClosed) {
    Zento& w = make();
    ASSERT_TRUE(wait_check());
    const QString before = log();
    w.Command4->click();
    w.Command1->click();
    w.dialog2()->OKButton->click();
    EXPECT_FALSE(w.dialog2()->isVisible());
    EXPECT_TRUE(port.written.empty());
    EXPECT_FALSE(w.iLedRectangleX2->Active());
    EXPECT_EQ(log(), before) << "nothing logged";
}

TEST_F(ZentoTest, FailedWriteIsLoggedAndDoesNotLightTxd) {
    Zento& w = make();
    connect_port();
    port.fail_writes("Input/output error");
    w.Command4->click();
    EXPECT_EQ(last_line(), QStringLiteral(">  Com1 (/dev/ttyMOCK0): Input/output error"));
    EXPECT_FALSE(w.iLedRectangleX2->Active());
    EXPECT_TRUE(port.written.empty());
}

// ---- receiver and update rate -----------------------------------------------------------------

TEST_F(ZentoTest, UpdateRateShowsTheFramesOfTheLastSecond) {
    Zento& w = make();
    connect_port();
    // Right after a tick, feed seven frames at once; the next tick shows them.
    QString seen;
    QObject::connect(w.Timer1, &QTimer::timeout, [&] { seen = w.Label22->text(); });
    ASSERT_TRUE(wait_for([&] { return !seen.isEmpty(); }));
    seen.clear();
    std::vector<std::uint8_t> batch;
    for (int i = 0; i < 7; ++i) {
        const auto f = attitude_frame(std::uint8_t(i));
        batch.insert(batch.end(), f.begin(), f.end());
    }
    const auto s = sensor_frame();
    batch.insert(batch.end(), s.begin(), s.end()); // not counted
    port.feed(batch);
    EXPECT_EQ(w.frame_count, 7);
    ASSERT_TRUE(wait_for([&] { return !seen.isEmpty(); }));
    EXPECT_EQ(seen, QStringLiteral("7 FPS"));
    EXPECT_EQ(w.frame_count, 0);
    seen.clear();
    ASSERT_TRUE(wait_for([&] { return !seen.isEmpty(); }));
    EXPECT_EQ(seen, QStringLiteral("0 FPS"));
}

TEST_F(ZentoTest, CountsWrapAs16BitIntegers) {
    Zento& w = make();
    w.msg_count = 32767;
    w.Show_msg("x");
    EXPECT_EQ(w.msg_count, -32768);
    w.frame_count = 32767;
    const auto frame = attitude_frame();
    w.Rec_attitude(std::span(frame).subspan(2, frame.size() - 3)); // length byte to checksum
    EXPECT_EQ(w.frame_count, -32768);
    w.Timer1_Timer();
    EXPECT_EQ(w.Label22->text(), QStringLiteral("-32768 FPS"));
}

TEST_F(ZentoTest, OverflowReachesTheLog) {
    // (Damaged frames in a stream of good ones: the telemetry tests.)
    make();
    connect_port();
    port.inject_overflow();
    EXPECT_EQ(last_line(), QStringLiteral(">  ComPort Buffer Overflow!"));
    EXPECT_EQ(port.RThreshold(), 1);
    EXPECT_EQ(port.max_on_comm_depth, 1);
}

// ---- window, menu, layout ---------------------------------------------------------------------

TEST_F(ZentoTest, LayoutAndMenuAsDesigned) {
    Zento& w = make();
    w.show();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Tavro AHRS DEMO"));
    EXPECT_EQ(w.centralWidget()->size(), QSize(1016, 580));
    const std::pair<QWidget*, QRect> places[] = {
        {w.iSwitchLedX1, {8, 8, 137, 41}},      {w.iLedRectangleX2, {8, 24, 65, 13}},
        {w.Fram_Zento, {0, 56, 1017, 437}},     {w.Label22, {8, 416, 73, 17}},
        {w.iPanelX1, {0, 488, 1017, 93}},       {w.Text_msg, {32, 24, 977, 69}},
        {w.Command3, {936, 32, 57, 25}},        {w.Piczitai, {856, 280, 157, 117}},
        {w.iPlotX1, {72, 16, 777, 313}},        {w.Command6, {739, 20, 105, 25}},
        {w.Frame_Other, {688, 328, 145, 105}},  {w.Combo1, {56, 72, 65, 22}},
        {w.Check1, {104, 8, 17, 17}},           {w.Check2, {112, 8, 17, 17}},
        {w.iLedRectangleX3, {64, 400, 17, 17}}, {w.Command4, {8, 16, 105, 25}},
        {w.Command1, {84, 28, 49, 37}},
    };
    for (const auto& [widget, rect] : places)
        EXPECT_EQ(widget->geometry(), rect)
            << widget->metaObject()->className() << " " << widget->accessibleName().toStdString();
    EXPECT_EQ(w.Command1->parentWidget(), w.Frame_Gyroscope);
    EXPECT_EQ(w.Command4->parentWidget(), w.Frame_Other);
    EXPECT_EQ(w.Label24->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(w.Frame1->title(), QStringLiteral("串口状态"));
    EXPECT_EQ(w.iPanelX1->TitleText(), QStringLiteral("信息显示"));
    EXPECT_TRUE(w.Text_msg->isReadOnly());
    EXPECT_TRUE(QFontInfo(w.Text_msg->font()).fixedPitch());
    EXPECT_TRUE(w.Label5->font().bold());
    QStringList menu;
    for (QAction* a : w.menuBar()->actions())
        menu << a->text();
    for (QAction* a : w.File->actions() + w.Exit_E->actions())
        menu << a->text();
    EXPECT_EQ(menu, QStringList({"Setting", "Eixt", "ComPort", "Eixt", "Eixt"}));
    EXPECT_EQ(w.File->actions(), (QList<QAction*>{w.com_set, w.Exit}));
    EXPECT_EQ(w.Timer1->interval(), 1000);
    // Optional picture for a person to look at.
    if (const char* png = std::getenv("ZENTO_GRAB_PNG")) w.grab().save(QString::fromLocal8Bit(png));
}

TEST_F(ZentoTest, ThreeDShowMakesOneWindowWhoseFailureClosesOnlyIt) {
    Zento& w = make();
    // The program folder holds no model: the 3D window says so in a message box (closed here)
    // and in the log, then closes itself; the port and the data go on.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* m = QApplication::activeModalWidget()) m->close();
    });
    closer.start(50);
    connect_port();
    w.Command5->click();
    w.Command5->click();
    ASSERT_NE(w.big3D, nullptr);
    EXPECT_EQ(w.findChildren<Big3D*>().size(), 1);
    EXPECT_TRUE(last_line().startsWith(">  3D window closed: The 3D model cannot be loaded."))
        << last_line().toStdString();
    EXPECT_FALSE(w.big3D->isVisible());
    EXPECT_EQ(exits, 0);
    EXPECT_TRUE(port.PortOpen());
    port.feed(attitude_frame());
    EXPECT_EQ(w.frame_count, 1);
}

TEST_F(ZentoTest, ControlsAreNamedForAssistiveTechnology) {
    Zento& w = make();
    w.show();
    // Names the window gives (the widgets' own naming is tested with the widgets).
    const std::pair<QWidget*, QString> named[] = {
        {w.iLedRectangleX3, "Heartbeat"},
        {w.Msg_Led, "New message"},
        {w.Check3, "Show Gyroscope traces"},
        {w.Label22, "FPS"},
    };
    for (const auto& [widget, name] : named)
        EXPECT_EQ(QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name), name);
    // A chooser's name is its entry on some platforms; what it scales is in its description.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(w.Combo4)->text(QAccessible::Description),
              QStringLiteral("Magnetometer scale"));
    // No control is left without a name.
    for (QWidget* c : w.findChildren<QWidget*>()) {
        if (!c->isVisible() || (!qobject_cast<QComboBox*>(c) && !qobject_cast<QAbstractButton*>(c)))
            continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
        ASSERT_NE(a, nullptr);
        EXPECT_FALSE(a->text(QAccessible::Name).isEmpty())
            << c->metaObject()->className() << " " << c->objectName().toStdString() << " in "
            << c->parentWidget()->metaObject()->className();
    }
    // The log's text can be read.
    const QAccessibleTextInterface* t =
        QAccessible::queryAccessibleInterface(w.Text_msg)->textInterface();
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->text(0, t->characterCount()).contains(QStringLiteral("starts successfully!")));
}
