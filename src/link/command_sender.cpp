#include "link/command_sender.h"

#include "link/envelope.h"
#include "platform/serial/serial_port.h"

namespace zento {

SendOutcome send_command(SerialPort& port, std::uint8_t type, std::string* error) {
    const std::array<std::uint8_t, 6> frame = command_frame(type);
    if (!port.PortOpen()) return SendOutcome::PortClosed;
    if (!port.Output(frame)) {
        if (error) *error = port.lastError();
        return SendOutcome::Failed;
    }
    return SendOutcome::Sent;
}

} // namespace zento
