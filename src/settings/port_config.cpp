#include "settings/port_config.h"

#include "platform/serial/line_settings.h"
#include "settings/ini_file.h"

namespace zento {

PortConfig choose_port_config(std::string_view port_text, std::string_view settings_text) {
    PortConfig c;
    if (port_text.empty() || settings_text.empty()) return c;
    const auto port = parse_port_number(port_text);
    const LineSettingsParse settings = parse_line_settings(settings_text);
    if (port && settings.settings) {
        c.port = *port;
        c.settings = settings.settings->text();
        return c;
    }
    std::string what;
    if (!port) what = "Port \"" + std::string(port_text) + "\" is not a port number from 1 to 255";
    if (!settings.settings) {
        if (!what.empty()) what += "; ";
        what += "Settings: " + settings.problem;
    }
    c.problem = std::string(kIniFileName) + ": " + what + "; using Com1 " + c.settings;
    return c;
}

PortConfig read_port_config(const SettingsFile& ini_file) {
    const IniText file = read_ini_text(ini_file.source());
    if (!file.problem.empty()) { // there but not usable: the defaults, and the log says why
        PortConfig c;
        c.problem = file.problem + "; using Com1 " + c.settings;
        return c;
    }
    const std::string settings = ini_value(file.text, kIniSection, kIniKeySettings);
    const std::string port = ini_value(file.text, kIniSection, kIniKeyPort);
    return choose_port_config(port, settings);
}

} // namespace zento
