// The main window driven through the serial test double: start-up, message log, port
// connection, port settings window, lamps, commands, update rate, and the failure cases.
#include "window_fixture.h"

#include "health/health_window.h"
#include "instruments/lamps.h"
#include "dialogs/comm_set.h"
#include "settings/ini_file.h"
#include "shell/board_commands.h"
#include "shell/link_health.h"
#include "shell/pulse_lamp.h"
#include "shell/telemetry_display.h"
#include "view3d/big3d.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

using namespace zento;
using namespace zento_test;

namespace {

const QString kGreeting = QStringLiteral("1:  Tavro AHRS DEMO starts successfully!\r\n"
                                         ">  --------    Start    --------\r\n"
                                         ">  --1. Check the serial port settings are correct --\r\n"
                                         ">  --2. Click to open port button to receive data\r\n"
                                         ">  ------------------------------");

class MainWindowTest : public WindowTest {
  protected:
    // The log line that says which settings file start-up read.
    QString settings_line() const {
        const QString ini = QString::fromStdString(dir.ini().string());
        return std::filesystem::exists(dir.ini())
                   ? QStringLiteral("\r\n>  Settings from ") + ini
                   : QStringLiteral(
                         "\r\n>  No settings file yet: defaults until the first save to ") +
                         ini;
    }
};

} // namespace

// ---- start-up and the message log -------------------------------------------------------------

TEST_F(MainWindowTest, StartupWritesTheGreetingLeavesThePortClosedAndChecks200msLater) {
    Zento& w = make();
    EXPECT_EQ(log(), kGreeting + settings_line());
    EXPECT_EQ(ui().messageText->toPlainText(),
              QString(kGreeting + settings_line()).replace("\r\n", "\n"));
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(port.Settings(), "115200,n,8,1");
    EXPECT_EQ(port.RThreshold(), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.ini())) << "start-up never writes the file";
    EXPECT_EQ(ui().portSwitch->caption(), QStringLiteral("Connect AHRS"));
    EXPECT_EQ(ui().updateRateLabel->text(), QStringLiteral("FPS"));
    EXPECT_TRUE(ui().messageLamp->Active());

    ASSERT_TRUE(wait_check());
    EXPECT_EQ(log(), kGreeting + settings_line() + QStringLiteral("\r\n>  Com Port Closed ..."));
    EXPECT_EQ(ui().portSwitch->caption(), QStringLiteral("Port Close"));
    EXPECT_FALSE(ui().portSwitch->Active());
    ASSERT_TRUE(wait_for([&] { return ui().updateRateLabel->text() == QStringLiteral("0 FPS"); }));
    EXPECT_EQ(w.log().count(), 7);
}

TEST_F(MainWindowTest, StartupAppliesTheSettingsFileOrSaysWhatWasUnusable) {
    dir.write_ini("[COM]\r\nPort=3\r\nSettings=9600,n,8,1\r\n");
    make();
    EXPECT_EQ(log(), kGreeting + settings_line());
    EXPECT_EQ(port.CommPort(), 3);
    EXPECT_EQ(port.Settings(), "9600,n,8,1");

    dir.write_ini("[COM]\nPort=300\nSettings=9600,n,8,1\n");
    make();
    EXPECT_EQ(port.CommPort(), 1);
    EXPECT_EQ(port.Settings(), "115200,n,8,1");
    EXPECT_EQ(log(), kGreeting +
                         QStringLiteral("\r\n>  Zento.ini: Port \"300\" is not a port "
                                        "number from 1 to 255; using Com1 115200,n,8,1") +
                         settings_line());
    EXPECT_EQ(Read_ini("COM", "Port", dir.ini()), "300") << "the file is left as it was";
}

TEST_F(MainWindowTest, ClearThenMessagesAreMarkedNotNumbered) {
    Zento& w = make();
    ui().clearButton->click();
    EXPECT_EQ(log(), QStringLiteral("Clear...."));
    EXPECT_EQ(w.log().count(), 6) << "Clear does not touch the count";
    w.Show_msg("after");
    w.Show_msg("");
    w.Show_msg(QStringLiteral("温度 ℃"));
    w.log().Show_msg(std::string_view("utf-8 \xE2\x84\x83"));
    EXPECT_EQ(log(), QStringLiteral("Clear....\r\n>  after\r\n>  \r\n>  温度 ℃\r\n>  utf-8 ℃"));
}

TEST_F(MainWindowTest, LogKeepsTheNewestLinesWithinItsBound) {
    Zento& w = make();
    for (int i = 0; i < MessageLog::kMaxLines + 50; ++i)
        w.Show_msg(QString::number(i));
    const QStringList l = lines_of(log());
    EXPECT_EQ(l.size(), MessageLog::kMaxLines);
    EXPECT_EQ(l.back(), QStringLiteral(">  %1").arg(MessageLog::kMaxLines + 49));
    EXPECT_EQ(ui().messageText->document()->blockCount(), MessageLog::kMaxLines);
}

// ---- lamps ------------------------------------------------------------------------------------

// Each lamp: lit by its pulse, kept lit without going out by pulses that follow, out once its
// hold has run down.
TEST_F(MainWindowTest, PulsesKeepTheirLampLitUntilTheHoldRunsDown) {
    Zento& w = make();
    connect_port();
    const Bytes frame = build_frame(kTypeAttitude, words(7, 0, 1));
    struct Case {
        const char* name;
        PulseLamp& lamp;
        int hold_ms;
        std::function<void()> pulse;
    };
    const Case cases[] = {
        {"RXD", w.rxd(), 300, [&] { port.feed(frame); }},
        {"TXD", w.commands().lamp(), 200, [&] { ui().heightZeroButton->click(); }},
        {"message", w.log().lamp(), 400, [&] { w.Show_msg("x"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(wait_for([&] { return !c.lamp.lamp()->Active(); }));
        int went_out = 0;
        const auto watch = QObject::connect(c.lamp.lamp(), &Lamp::activeChanged,
                                            [&](bool on) { went_out += !on; });
        c.pulse();
        EXPECT_TRUE(c.lamp.lamp()->Active());
        c.pulse();
        EXPECT_EQ(went_out, 0) << "went out between two pulses";
        EXPECT_EQ(c.lamp.timer()->interval(), c.hold_ms);
        ASSERT_TRUE(wait_for([&] { return !c.lamp.lamp()->Active(); }));
        EXPECT_EQ(went_out, 1);
        EXPECT_FALSE(c.lamp.timer()->isActive());
        QObject::disconnect(watch);
    }
}

// ---- port connection --------------------------------------------------------------------------

TEST_F(MainWindowTest, SwitchOpensAndReportsThenClosesAndReports) {
    make();
    ASSERT_TRUE(wait_check());
    ui().portSwitch->click();
    EXPECT_TRUE(port.PortOpen());
    EXPECT_EQ(last_line(), QStringLiteral(">  Try to open Com Port ..."));
    EXPECT_EQ(ui().portSwitch->caption(), QStringLiteral("Port Close"))
        << "changes only at the check";
    ASSERT_TRUE(wait_check());
    EXPECT_EQ(lines_of(log()).mid(lines() - 4),
              QStringList({">  Try to open Com Port ...", ">  Com1 is /dev/ttyMOCK0",
                           ">  COM1--115200,n,8,1", ">  Open Com Port Success ..."}));
    EXPECT_EQ(ui().portSwitch->caption(), QStringLiteral("Connected"));
    EXPECT_TRUE(ui().portSwitch->Active());

    ui().portSwitch->click();
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(last_line(), QStringLiteral(">  Disconnect ..."));
    ASSERT_TRUE(wait_check());
    EXPECT_EQ(last_line(), QStringLiteral(">  Com Port Closed ..."));
    EXPECT_EQ(ui().portSwitch->caption(), QStringLiteral("Port Close"));
    EXPECT_FALSE(ui().portSwitch->Active());
}

TEST_F(MainWindowTest, TwoSwitchUsesInQuickSuccessionGiveOneCheck) {
    make();
    ASSERT_TRUE(wait_check());
    const int before = lines();
    ui().portSwitch->click();
    ui().portSwitch->click();
    ASSERT_TRUE(wait_check());
    EXPECT_EQ(lines_since(before), QStringList({">  Try to open Com Port ...", ">  Disconnect ...",
                                                ">  Com Port Closed ..."}));
    EXPECT_EQ(port.opens, 1);
}

TEST_F(MainWindowTest, SwitchResetsTheReceiver) {
    Zento& w = make();
    connect_port();
    const Bytes f = build_frame(kTypeAttitude, words(7, 0, 1));
    port.feed(std::span(f).first(8)); // half a frame
    EXPECT_TRUE(w.receiver().rx_on);
    ui().portSwitch->click(); // close
    EXPECT_FALSE(w.receiver().rx_on);
    EXPECT_EQ(w.receiver().rx_count, 0);
}

TEST_F(MainWindowTest, OpenFailureLogsTheDeviceAndReasonThenClosed) {
    make();
    ASSERT_TRUE(wait_check());
    port.fail_opens("Permission denied");
    const int before = lines();
    ui().portSwitch->click();
    ASSERT_TRUE(wait_check());
    EXPECT_EQ(lines_since(before), QStringList({">  Try to open Com Port ...",
                                                ">  Com1 (/dev/ttyMOCK0): Permission denied",
                                                ">  Com Port Closed ..."}));
    EXPECT_FALSE(ui().portSwitch->Active());
}

TEST_F(MainWindowTest, UnpluggedPortIsNoticedClosedAndReportedOnceThenReconnects) {
    Zento& w = make();
    connect_port();
    attitude(words(7, 0, 1));
    EXPECT_EQ(w.telemetry().frame_count(), 1);
    const int before = lines();
    port.unplug("Input/output error");
    EXPECT_FALSE(port.PortOpen());
    EXPECT_EQ(lines_since(before),
              QStringList({">  Com1 (/dev/ttyMOCK0): Input/output error", ">  Com Port Closed ...",
                           ">  Waiting for Com1 to come back (Setting > Reconnect automatically) "
                           "..."}));
    EXPECT_EQ(ui().portSwitch->caption(), QStringLiteral("Port Close"));
    EXPECT_FALSE(port.feed(build_frame(kTypeAttitude, words(7, 0, 1))))
        << "nothing arrives from a closed port";
    QApplication::processEvents();
    EXPECT_EQ(lines(), before + 3) << "no stream of errors while it stays away";

    // While away (or not plugged in yet), connecting fails with a reason and waits for the
    // device; once there, it connects by itself.
    ui().portSwitch->click();
    EXPECT_EQ(last_line(), ">  Waiting for Com1 to appear (Setting > Reconnect automatically) ...");
    ASSERT_TRUE(wait_check());
    port.plug();
    ASSERT_TRUE(wait_for([&] { return port.PortOpen(); }));
    EXPECT_EQ(last_line(), QStringLiteral(">  Com1 appeared: connected"));
    attitude(words(7, 0, 1));
    EXPECT_EQ(w.telemetry().frame_count(), 2);
}

TEST_F(MainWindowTest, ExitItemsAndTheCloseBoxCloseThePortAndEndTheProgram) {
    Zento& w = make();
    int expected = 0;
    for (const std::function<void()>& end : std::initializer_list<std::function<void()>>{
             [&] { ui().settingExitAction->trigger(); }, [&] { ui().exitAction->trigger(); },
             [&] { w.show(), w.close(); }}) {
        connect_port();
        end();
        EXPECT_FALSE(port.PortOpen());
        EXPECT_EQ(exits, ++expected);
    }
}

// ---- port settings window ---------------------------------------------------------------------

TEST_F(MainWindowTest, ComPortWhileConnectedLogsShowsClosesAndReports) {
    Zento& w = make();
    connect_port();
    const int before = lines();
    ui().comPortAction->trigger();
    EXPECT_FALSE(port.PortOpen());
    CommSet* c = w.connection().settings_window();
    ASSERT_NE(c, nullptr);
    EXPECT_TRUE(c->isVisible());
    EXPECT_EQ(c->windowTitle(), QStringLiteral("Current Setting [ Com1 115200,n,8,1 ]"));
    ASSERT_TRUE(wait_check());
    EXPECT_EQ(lines_since(before), QStringList({">  115200,n,8,1", ">  Com Port Closed ..."}));
}

// The settings window from the file to the file: it opens with the port of the file and the
// lists at their fixed places; "Default" sets the lists only; "Canceled" keeps the choice for the
// next showing of the one window; "OK" applies, writes and logs, and the next start reads it.
TEST_F(MainWindowTest, SettingsWindowFromTheFileBackToTheFile) {
    dir.write_ini("[COM]\nPort=2\nSettings=9600,e,7,2\n");
    Zento& w = make();
    ui().comPortAction->trigger();
    CommSet* c = w.connection().settings_window();
    EXPECT_EQ(c->windowTitle(), QStringLiteral("Current Setting [ Com2 9600,e,7,2 ]"));
    EXPECT_EQ(c->portList->itemText(13), QStringLiteral("Com 14  (ttyMOCK13)"));
    const auto lists = [c] {
        return std::vector<int>{c->portList->currentIndex(), c->baudList->currentIndex(),
                                c->dataBitsList->currentIndex(), c->stopBitsList->currentIndex()};
    };
    EXPECT_EQ(lists(), (std::vector<int>{1, 10, 3, 0})) << "115200, 8 bits, 1 bit";

    c->portList->setCurrentIndex(4);
    c->baudList->setCurrentIndex(2);
    c->defaultButton->click();
    EXPECT_EQ(lists(), (std::vector<int>{0, 10, 3, 0}));
    EXPECT_TRUE(c->isVisible());

    c->portList->setCurrentIndex(6);
    c->cancelButton->click();
    EXPECT_FALSE(c->isVisible());
    EXPECT_EQ(port.CommPort(), 2);
    ui().comPortAction->trigger();
    EXPECT_EQ(w.connection().settings_window(), c) << "one window, kept between showings";
    EXPECT_EQ(c->portList->currentIndex(), 6);

    c->portList->setCurrentIndex(2);
    c->baudList->setCurrentIndex(c->baudList->findText(QStringLiteral("9600")));
    c->okButton->click();
    EXPECT_EQ(port.CommPort(), 3);
    EXPECT_EQ(port.Settings(), "9600,n,8,1");
    EXPECT_EQ(Read_ini("COM", "Port", dir.ini()), "3");
    EXPECT_EQ(Read_ini("COM", "Settings", dir.ini()), "9600,n,8,1");
    EXPECT_EQ(last_line(), QStringLiteral(">  Current Setting [ Com3 9600,n,8,1 ]"));
    EXPECT_FALSE(port.PortOpen()) << "the port stays closed until the switch is used";
    port.setCommPort(1);
    make();
    EXPECT_EQ(port.CommPort(), 3);
    EXPECT_EQ(port.Settings(), "9600,n,8,1");
}

TEST_F(MainWindowTest, SettingsOkWhileConnectedClosesFirstThenApplies) {
    Zento& w = make();
    ui().comPortAction->trigger();
    ASSERT_TRUE(wait_check());
    connect_port(); // reconnected while the settings window is shown
    CommSet* c = w.connection().settings_window();
    c->portList->setCurrentIndex(1);
    c->baudList->setCurrentIndex(c->baudList->findText(QStringLiteral("57600")));
    port.calls.clear();
    c->okButton->click();
    EXPECT_FALSE(port.PortOpen());
    ASSERT_GE(port.calls.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(port.calls.begin(), port.calls.begin() + 3),
              (std::vector<std::string>{"PortOpen=false", "CommPort=2", "Settings=57600,n,8,1"}));
    ASSERT_TRUE(wait_check());
    EXPECT_EQ(last_line(), QStringLiteral(">  Com Port Closed ..."));
}

TEST_F(MainWindowTest, SettingsFileThatCannotBeWrittenIsLogged) {
    std::filesystem::create_directory(dir.ini()); // a folder where the file should be
    Zento& w = make();
    ui().comPortAction->trigger();
    w.connection().settings_window()->portList->setCurrentIndex(1);
    const int before = lines();
    w.connection().settings_window()->okButton->click();
    const QStringList l = lines_since(before);
    ASSERT_EQ(l.size(), 2);
    EXPECT_EQ(l[0], QStringLiteral(">  Current Setting [ Com2 115200,n,8,1 ]"));
    EXPECT_TRUE(l[1].startsWith(QStringLiteral(">  Zento.ini was not saved: cannot read ")));
    EXPECT_TRUE(l[1].contains(QStringLiteral("folder"))) << l[1].toStdString();
    EXPECT_EQ(port.CommPort(), 2) << "applied to the port all the same";
}

TEST_F(MainWindowTest, AFreshUsersFirstSavesCreateTheSettingsFolder) {
    std::filesystem::remove_all(dir.path()); // a fresh user's ~/.config/zento: not there yet
    Zento& w = make();
    ui().comPortAction->trigger();
    w.connection().settings_window()->portList->setCurrentIndex(2);
    w.connection().settings_window()->okButton->click();
    EXPECT_EQ(last_line(), QStringLiteral(">  Current Setting [ Com3 115200,n,8,1 ]"));
    EXPECT_EQ(Read_ini("COM", "Port", dir.ini()), "3");

    std::filesystem::remove_all(dir.path()); // the health window's scales: the same
    w.health().Show_window();
    HealthWindow* h = w.health().window();
    h->gyroScaleEdit->setText(QStringLiteral("32.8"));
    emit h->gyroScaleEdit->editingFinished();
    EXPECT_EQ(Read_ini("Health", "GyroCountsPerDps", dir.ini()), "32.8");
}

// ---- commands ---------------------------------------------------------------------------------

TEST_F(MainWindowTest, HeightZeroSendsItsFrameInOnePiece) {
    make();
    connect_port();
    ui().heightZeroButton->click();
    ui().heightZeroButton->click();
    const Bytes e2{0xA5, 0x5A, 0x04, 0xE2, 0xE6, 0xAA};
    EXPECT_EQ(port.writes, (std::vector<Bytes>{e2, e2}));
    EXPECT_EQ(last_line(), QStringLiteral(">  Sent: zero the height"));
}

TEST_F(MainWindowTest, MarkedBiasConfirmsThenSendsAndHides) {
    Zento& w = make();
    connect_port();
    ui().markBiasButton->click();
    BiasConfirmDialog* d = w.commands().dialog();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(d->isModal());
    ui().markBiasButton->click();
    EXPECT_EQ(w.findChildren<BiasConfirmDialog*>().size(), 1) << "never more than one";
    d->cancelButton->click();
    EXPECT_FALSE(d->isVisible());
    EXPECT_TRUE(port.writes.empty()) << "nothing goes out before Start!";

    ui().markBiasButton->click();
    d->startButton->click();
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(port.writes, (std::vector<Bytes>{{0xA5, 0x5A, 0x04, 0xE0, 0xE4, 0xAA}}));
    EXPECT_TRUE(ui().txdLamp->Active());
    EXPECT_EQ(last_line(), QStringLiteral(">  Sent: collect gyroscope bias"));
}

TEST_F(MainWindowTest, NothingIsSentWhileClosed) {
    Zento& w = make();
    ASSERT_TRUE(wait_check());
    const QString before = log();
    ui().heightZeroButton->click();
    ui().markBiasButton->click();
    w.commands().dialog()->startButton->click();
    EXPECT_TRUE(port.written.empty());
    EXPECT_FALSE(ui().txdLamp->Active());
    EXPECT_EQ(log(), before) << "nothing logged";
}

TEST_F(MainWindowTest, FailedWriteIsLoggedAndDoesNotLightTxd) {
    make();
    connect_port();
    port.fail_writes("Input/output error");
    ui().heightZeroButton->click();
    EXPECT_EQ(last_line(), QStringLiteral(">  Com1 (/dev/ttyMOCK0): Input/output error"));
    EXPECT_FALSE(ui().txdLamp->Active());
    EXPECT_TRUE(port.written.empty());
}

// ---- update rate, 3D window, names ------------------------------------------------------------

TEST_F(MainWindowTest, UpdateRateShowsTheAttitudeFramesOfTheLastSecond) {
    Zento& w = make();
    connect_port();
    // Right after a tick, feed seven attitude frames and a sensor frame; the next tick shows 7.
    QString seen;
    QObject::connect(w.telemetry().rate_timer(), &QTimer::timeout,
                     [&] { seen = ui().updateRateLabel->text(); });
    ASSERT_TRUE(wait_for([&] { return !seen.isEmpty(); }));
    seen.clear();
    Bytes batch;
    for (int i = 0; i < 7; ++i) {
        const Bytes f = build_frame(kTypeAttitude, words(7, 0, std::uint8_t(i)));
        batch.insert(batch.end(), f.begin(), f.end());
    }
    const Bytes s = build_frame(kTypeSensor, words(9, 0, 1));
    batch.insert(batch.end(), s.begin(), s.end());
    port.feed(batch);
    EXPECT_EQ(w.telemetry().frame_count(), 7);
    ASSERT_TRUE(wait_for([&] { return !seen.isEmpty(); }));
    EXPECT_EQ(seen, QStringLiteral("7 FPS"));
    seen.clear();
    ASSERT_TRUE(wait_for([&] { return !seen.isEmpty(); }));
    EXPECT_EQ(seen, QStringLiteral("0 FPS"));
}

TEST_F(MainWindowTest, ThreeDShowMakesOneWindowWhoseFailureClosesOnlyIt) {
    Zento& w = make();
    // The program folder holds no model: the 3D window says so in a message box (closed here)
    // and in the log, then closes itself; the port and the data go on.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        if (QWidget* m = QApplication::activeModalWidget()) m->close();
    });
    closer.start(50);
    connect_port();
    ui().show3dButton->click();
    ui().show3dButton->click();
    ASSERT_NE(w.big3D(), nullptr);
    EXPECT_EQ(w.findChildren<Big3D*>().size(), 1);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(w.big3D())->role(), QAccessible::Window);
    EXPECT_TRUE(last_line().startsWith(">  3D window closed: The 3D model cannot be loaded."))
        << last_line().toStdString();
    EXPECT_FALSE(w.big3D()->isVisible());
    EXPECT_EQ(exits, 0);
    EXPECT_TRUE(port.PortOpen());
    attitude(words(7, 0, 1));
    EXPECT_EQ(w.telemetry().frame_count(), 1);
}

TEST_F(MainWindowTest, EveryControlHasANameForAssistiveTechnology) {
    Zento& w = make();
    w.show();
    for (QWidget* c : w.findChildren<QWidget*>()) {
        if (!c->isVisible() || (!qobject_cast<QComboBox*>(c) && !qobject_cast<QAbstractButton*>(c)))
            continue;
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
        ASSERT_NE(a, nullptr);
        EXPECT_FALSE(a->text(QAccessible::Name).isEmpty())
            << c->metaObject()->className() << " " << c->objectName().toStdString();
    }
    // A chooser's name is its entry on some platforms; what it scales is in its description.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(ui().scaleChoosers[3])
                  ->text(QAccessible::Description),
              QStringLiteral("Magnetometer scale"));
    const QAccessibleTextInterface* t =
        QAccessible::queryAccessibleInterface(ui().messageText)->textInterface();
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->text(0, t->characterCount()).contains(QStringLiteral("starts successfully!")));
    // The windows are windows (frames).
    ui().comPortAction->trigger();
    ui().healthAction->trigger();
    for (QWidget* win : QList<QWidget*>{&w, w.health().window(), w.connection().settings_window()})
        EXPECT_EQ(QAccessible::queryAccessibleInterface(win)->role(), QAccessible::Window);
}

// ---- a port that comes back -------------------------------------------------------------------

TEST_F(MainWindowTest, AnUnpluggedDeviceIsReopenedWhenItComesBackAndTheLogSaysSo) {
    Zento& w = make();
    ASSERT_TRUE(ui().reconnectAction->isChecked()) << "on unless switched off";
    struct Count : TelemetrySink {
        void batch(const TelemetryBatch& b) override {
            for (const TelemetryFrame& f : b.frames)
                n += f.type == TelemetryFrame::Type::attitude;
        }
        int n = 0;
    } frames;
    w.dispatch().add_sink(frames);
    connect_port();
    for (int cycle = 0; cycle < 3; ++cycle) {
        SCOPED_TRACE(cycle);
        const int before = lines();
        port.unplug("Input/output error");
        EXPECT_EQ(
            lines_since(before),
            QStringList({">  Com1 (/dev/ttyMOCK0): Input/output error", ">  Com Port Closed ...",
                         ">  Waiting for Com1 to come back (Setting > Reconnect "
                         "automatically) ..."}));
        ASSERT_TRUE(w.connection().waitingForDevice());
        port.plug();
        ASSERT_TRUE(wait_for([&] { return port.PortOpen(); }));
        EXPECT_EQ(last_line(), QStringLiteral(">  Com1 is back: reconnected"));
        ASSERT_TRUE(wait_check());
        EXPECT_EQ(last_line(), QStringLiteral(">  Open Com Port Success ..."));
        EXPECT_FALSE(w.connection().waitingForDevice());
        attitude(words(7, 0, 1));
        EXPECT_EQ(frames.n, cycle + 1) << "frames arrive again";
    }
}

TEST_F(MainWindowTest, ReconnectingCanBeSwitchedOffAndTheChoiceIsKept) {
    make();
    connect_port();
    ui().reconnectAction->trigger(); // off
    EXPECT_EQ(Read_ini("Options", "Reconnect", dir.ini()), "0");
    port.unplug();
    ui().portSwitch->click(); // nor is a device that is not there at connect
    port.plug();
    EXPECT_FALSE(window->connection().waitingForDevice());
    EXPECT_NE(last_line(), QStringLiteral(">  Com1 is back: reconnected"));
    make();
    EXPECT_FALSE(ui().reconnectAction->isChecked()) << "read back at the next start";
    // The user takes over: the settings window ends a wait.
    ui().reconnectAction->trigger(); // on
    connect_port();
    port.unplug();
    ASSERT_TRUE(window->connection().waitingForDevice());
    ui().comPortAction->trigger();
    EXPECT_FALSE(window->connection().waitingForDevice());
}
