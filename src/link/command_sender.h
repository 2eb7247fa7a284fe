#pragma once
// The two command frames to the board, each written to the port in one piece:
//   gyroscope bias  A5 5A 04 E0 E4 AA   (after the user confirms that the board lies still)
//   height zero     A5 5A 04 E2 E6 AA
// Nothing is written while the port is closed. The board sends no answer.
#include <cstdint>
#include <string>

namespace zento {

class SerialPort;

enum class SendOutcome {
    Sent,       // the whole frame went to the port
    PortClosed, // nothing written
    Failed,     // the port refused the write; `error` says why
};

SendOutcome send_command(SerialPort& port, std::uint8_t type, std::string* error = nullptr);

} // namespace zento
