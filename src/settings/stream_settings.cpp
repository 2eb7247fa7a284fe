#include "settings/stream_settings.h"

#include <algorithm>
#include <cctype>

namespace zento {

std::string StreamTarget::text() const {
    const bool v6 = host.find(':') != std::string::npos;
    return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::variant<StreamTarget, std::string> parse_stream_target(std::string_view text) {
    const std::string shown = "\"" + std::string(text) + "\"";
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos)
        return shown + " is not HOST:PORT (for example 127.0.0.1:9870)";
    std::string_view host = text.substr(0, colon);
    const std::string_view port = text.substr(colon + 1);
    const bool bracketed = host.size() >= 2 && host.front() == '[' && host.back() == ']';
    if (bracketed) host = host.substr(1, host.size() - 2);
    const auto allowed = [bracketed](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' ||
               (bracketed ? c == ':' || c == '%' : c == '_');
    };
    if (host.empty() || !std::all_of(host.begin(), host.end(), allowed) ||
        (!bracketed && host.find(':') != std::string_view::npos))
        return shown + ": the host must be a name, an IPv4 address or an IPv6 address in "
                       "brackets ([::1])";
    unsigned long n = 0;
    const bool digits =
        !port.empty() && port.size() <= 5 && std::all_of(port.begin(), port.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        });
    if (digits) n = std::stoul(std::string(port));
    if (!digits || n < 1 || n > 65535) return shown + ": the port must be a number from 1 to 65535";
    return StreamTarget{std::string(host), std::uint16_t(n)};
}

StreamSettings read_stream_settings(const SettingsFile& ini_file) {
    StreamSettings s;
    s.send = read_setting(ini_file, kStreamSection, kKeyStreamSend) == "1";
    const std::string address = read_setting(ini_file, kStreamSection, kKeyStreamAddress);
    if (address.empty()) return s;
    auto parsed = parse_stream_target(address);
    if (auto* t = std::get_if<StreamTarget>(&parsed))
        s.target = *t;
    else
        s.problem = "Zento.ini, [Stream] Address " + std::get<std::string>(parsed) + "; " +
                    s.target.text() + " is used instead";
    return s;
}

IniWriteResult write_stream_settings(const SettingsFile& ini_file, bool send,
                                     const StreamTarget& target) {
    const IniWriteResult r =
        save_setting(ini_file, kStreamSection, kKeyStreamSend, send ? "1" : "0");
    if (!r.ok) return r;
    return save_setting(ini_file, kStreamSection, kKeyStreamAddress, target.text());
}

} // namespace zento
