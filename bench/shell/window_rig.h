#pragma once
// The main window in a temporary program folder, fed through the serial test double (port open),
// for the main window's benchmarks.
#include "platform/serial/mock_serial_port.h"
#include "shell/zento.h"

#include <filesystem>
#include <memory>
#include <random>
#include <string>

namespace zento::bench {

struct WindowRig {
    WindowRig() {
        std::random_device rd;
        dir = std::filesystem::temp_directory_path() / ("zento-bench-" + std::to_string(rd()));
        std::filesystem::create_directories(dir);
        window = std::make_unique<Zento>(port, QString::fromStdString(dir.string()));
        window->exit_program = [] {};
        port.setPortOpen(true);
    }
    ~WindowRig() {
        window.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    WindowRig(const WindowRig&) = delete;
    WindowRig& operator=(const WindowRig&) = delete;

    std::filesystem::path dir;
    MockSerialPort port;
    std::unique_ptr<Zento> window;
};

} // namespace zento::bench
