#include "platform/serial/port_order.h"

#include <algorithm>
#include <cstdio>

namespace zento {

namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view base_name(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

int group_of(std::string_view path) {
    const std::string_view b = base_name(path);
    if (b.starts_with("ttyUSB")) return 0;
    if (b.starts_with("ttyACM")) return 1;
    return 2;
}

} // namespace

int natural_compare(std::string_view a, std::string_view b) {
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (is_digit(a[i]) && is_digit(b[j])) {
            std::size_t ie = i, je = j;
            while (ie < a.size() && is_digit(a[ie]))
                ++ie;
            while (je < b.size() && is_digit(b[je]))
                ++je;
            std::size_t is = i, js = j; // skip leading zeros
            while (is + 1 < ie && a[is] == '0')
                ++is;
            while (js + 1 < je && b[js] == '0')
                ++js;
            const std::size_t la = ie - is, lb = je - js;
            if (la != lb) return la < lb ? -1 : 1;
            if (const int c = a.substr(is, la).compare(b.substr(js, lb)); c != 0) return c;
            i = ie;
            j = je;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]) ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return a.compare(b) < 0   ? -1
           : a.compare(b) > 0 ? 1
                              : 0; // "ttyS01" vs "ttyS1": stable tie-break
}

std::vector<std::string> order_serial_devices(std::vector<std::string> devices) {
    std::sort(devices.begin(), devices.end(), [](const std::string& a, const std::string& b) {
        const int ga = group_of(a), gb = group_of(b);
        if (ga != gb) return ga < gb;
        const int c = natural_compare(base_name(a), base_name(b));
        if (c != 0) return c < 0;
        return a < b;
    });
    devices.erase(std::unique(devices.begin(), devices.end()), devices.end());
    return devices;
}

std::optional<std::string> nth_serial_device(const std::vector<std::string>& ordered, int n) {
    if (n < 1 || std::size_t(n) > ordered.size()) return std::nullopt;
    return ordered[std::size_t(n) - 1];
}

std::string short_device_name(std::string_view path) {
    if (path.starts_with("/dev/")) path.remove_prefix(5);
    return std::string(path);
}

std::string describe_opened_device(int port, std::string_view shown, const SerialDeviceId& id) {
    std::string line = "Com" + std::to_string(port) + " is " + std::string(shown);
    if (id.vendor < 0) return line;
    char ids[16];
    std::snprintf(ids, sizeof ids, "%04x:%04x", unsigned(id.vendor) & 0xFFFF,
                  unsigned(id.product) & 0xFFFF);
    line += std::string(" (USB ") + ids;
    if (!id.product_name.empty()) line += " \"" + id.product_name + "\"";
    return line + (id.serial_number.empty() ? ", no serial number)"
                                            : ", serial " + id.serial_number + ")");
}

std::optional<std::string> find_returned_device(const SerialDeviceId& was,
                                                const std::vector<SerialDeviceId>& now) {
    for (const SerialDeviceId& d : now)
        if (d.path == was.path) return d.path;
    if (was.vendor < 0) return std::nullopt; // not USB: only its own path identifies it
    std::optional<std::string> found;
    int matches = 0;
    for (const SerialDeviceId& d : now) {
        if (d.vendor != was.vendor || d.product != was.product) continue;
        if (!was.serial_number.empty()) {
            if (d.serial_number == was.serial_number) return d.path;
            continue;
        }
        found = d.path;
        ++matches;
    }
    return matches == 1 ? found : std::nullopt;
}

} // namespace zento
