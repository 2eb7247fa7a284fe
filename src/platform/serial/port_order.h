#pragma once
// Which device "Com n" opens on systems without COM names.
//
//   1. a link (or device) named "com<n>" in the folder "ports" of the program's folder
//      (for example made by the simulated board's --link);
//   2. otherwise the n-th serial device that the system reports, in this order: USB serial
//      adapters (ttyUSB*), then CDC-ACM devices (ttyACM*), then the rest, each group in
//      natural order (ttyUSB2 before ttyUSB10).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zento {

// Natural order: runs of digits compare by value, everything else byte by byte.
// Negative, zero or positive like strcmp.
int natural_compare(std::string_view a, std::string_view b);

// Orders device names or paths ("ttyUSB0" or "/dev/ttyUSB0") as described above; duplicates
// are kept once.
std::vector<std::string> order_serial_devices(std::vector<std::string> devices);

// The n-th device (n from 1) of the ordered list, or nullopt.
std::optional<std::string> nth_serial_device(const std::vector<std::string>& ordered, int n);

// What identifies a USB serial device across unplugs, when the system may give it a new name
// (ttyUSB0 comes back as ttyUSB1).
struct SerialDeviceId {
    std::string path;          // "/dev/ttyUSB0"
    std::string serial_number; // "" when the device has none
    int vendor = -1;           // USB vendor and product, -1 when not USB
    int product = -1;
    std::string product_name; // the product as the device names itself, "" when unknown
};

// Where a device that went away is now: its old path when that is listed again, else the
// listed device with its serial number, else (when it has none) the one device with its vendor
// and product. Nothing when it is not there, or when several devices could be it.
std::optional<std::string> find_returned_device(const SerialDeviceId& was,
                                                const std::vector<SerialDeviceId>& now);

// The log line that names the device "Com n" opened, `shown` being its path as the user
// should see it (a link with its target): "Com1 is /dev/ttyUSB0 (USB 10c4:ea60 "CP2102 USB to
// UART Bridge Controller", serial 0001)"; the part in brackets for a USB device only.
std::string describe_opened_device(int port, std::string_view shown, const SerialDeviceId& id);

// A device path as shown to the user: "/dev/ttyUSB0" -> "ttyUSB0", "/dev/pts/3" -> "pts/3".
std::string short_device_name(std::string_view path);

} // namespace zento
