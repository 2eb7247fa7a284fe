#pragma once
// The main window in a temporary program folder, driven through the serial test double: what
// the tests of the window and its parts share.
#include "link/envelope.h"
#include "platform/serial/mock_serial_port.h"
#include "qt_test.h"
#include "shell/message_log.h"
#include "shell/port_connection.h"
#include "shell/zento.h"
#include "test_folder.h"
#include "instruments/lamps.h"

#include <QStringList>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

// Failures show texts as texts.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace zento_test {

using Bytes = std::vector<std::uint8_t>;

// A temporary folder standing for the program's folder; removed with its contents.
struct ProgramDir : TempDir {
    QString qpath() const { return QString::fromStdString(path().string()); }
    std::filesystem::path ini() const { return path() / "Zento.ini"; }
    void write_ini(const std::string& text) const { put("Zento.ini", text); }
};

// A payload of `count` words, each the same two bytes.
inline Bytes words(std::size_t count, std::uint8_t high, std::uint8_t low) {
    Bytes b;
    for (std::size_t i = 0; i < count; ++i)
        b.insert(b.end(), {high, low});
    return b;
}

inline QStringList lines_of(const QString& log) {
    return log.split(QStringLiteral("\r\n"));
}

class WindowTest : public ::testing::Test {
  protected:
    zento::Zento& make() {
        window.reset(); // the old window lets go of the port before the new one takes it
        window = std::make_unique<zento::Zento>(port, dir.qpath());
        window->exit_program = [this] { ++exits; };
        return *window;
    }
    zento::MainForm& ui() const { return window->ui; }
    QString log() const { return window->log().text(); }
    QString last_line() const { return lines_of(log()).back(); }
    int lines() const { return int(lines_of(log()).size()); }
    // The log's lines written since it had `before` lines.
    QStringList lines_since(int before) const { return lines_of(log()).mid(before); }
    // Waits for the port check that follows start-up or a use of the switch.
    bool wait_check() const {
        return wait_for([this] { return !window->connection().check_timer()->isActive(); });
    }
    void connect_port() {
        ui().portSwitch->click();
        ASSERT_TRUE(wait_check());
        ASSERT_TRUE(port.PortOpen());
        ASSERT_EQ(last_line(), QStringLiteral(">  Open Com Port Success ..."));
    }
    // Feeds one frame through the port, as bytes from the board.
    void attitude(const Bytes& payload) {
        port.feed(zento::build_frame(zento::kTypeAttitude, payload));
    }
    void sensor(const Bytes& payload) {
        port.feed(zento::build_frame(zento::kTypeSensor, payload));
    }

    ProgramDir dir;
    zento::MockSerialPort port;
    std::unique_ptr<zento::Zento> window;
    int exits = 0;
};

} // namespace zento_test
