// zento: the host program of the Tavro AHRS board.
#include "controls/fonts.h"
#include "platform/serial/qt_serial_port.h"
#include "recording/file_io.h"
#include "settings/command_line.h"
#include "settings/settings_location.h"
#include "platform/signals/exit_signals.h"
#include "shell/paths_and_times.h"
#include "shell/playback_control.h"
#include "shell/port_connection.h"
#include "shell/recording_control.h"
#include "shell/value_stream.h"
#include "shell/zento.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <cstdio>
#include <span>
#include <string_view>
#include <variant>

namespace {

using zento::from_path;
using zento::to_path;

// The model and its texture: beside the program (a build tree, a portable folder), else in the
// installed tree's data folder, found relative to the program so that a moved tree works.
QString model_folder(const QString& program_dir) {
    if (QFile::exists(program_dir + QStringLiteral("/liti8.x"))) return program_dir;
    const QString installed =
        QDir::cleanPath(program_dir + QStringLiteral("/" ZENTO_DATA_FROM_BIN));
    return QFile::exists(installed + QStringLiteral("/liti8.x")) ? installed : program_dir;
}

} // namespace

int main(int argc, char** argv) {
    zento::ignore_file_size_signal(); // every writer gets EFBIG at a `ulimit -f`, not SIGXFSZ
    const std::span<const char* const> args(argv + 1, std::size_t(argc > 0 ? argc - 1 : 0));
    // Ours are "--" options and -h, -v; another single dash may be one of Qt's (-platform,
    // -style): those are taken out by QApplication first, and the rest is read then. Without
    // them an unusable command line is refused here, --help or --version or not.
    bool qt_options = false;
    for (const std::string_view a : args)
        qt_options |= a.size() > 1 && a[0] == '-' && a[1] != '-' && a != "-h" && a != "-v";
    if (!qt_options) {
        const auto early = zento::parse_command_line(args);
        if (const auto* error = std::get_if<std::string>(&early)) {
            std::fprintf(stderr, "zento: %s\n", error->c_str());
            return 2;
        }
    }
    if (zento::asks_help_or_version(args)) { // answered without a display
        const auto parsed = zento::parse_command_line(args);
        const auto* c = std::get_if<zento::CommandLine>(&parsed);
        if (c && c->version)
            std::printf("zento %s\n", ZENTO_VERSION);
        else
            std::fputs(zento::command_line_help().c_str(), stdout);
        return 0;
    }

    QApplication app(argc, argv); // takes Qt's own options out of argv
    zento::use_window_font();
    QCoreApplication::setApplicationName(QStringLiteral("zento"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZENTO_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("zento"));
    const std::span<const char* const> rest(argv + 1, std::size_t(argc > 0 ? argc - 1 : 0));
    const auto parsed = zento::parse_command_line(rest);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        std::fprintf(stderr, "zento: %s\n", error->c_str());
        return 2;
    }
    const zento::CommandLine& options = std::get<zento::CommandLine>(parsed);

    const QString program_dir = QCoreApplication::applicationDirPath();
    const zento::SettingsLocation settings = zento::choose_settings_location(
        to_path(program_dir),
        to_path(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)));
    const QString settings_dir = from_path(settings.folder);

    zento::QtSerialPortControl port(settings_dir);
    zento::Zento window(port, zento::ProgramFolders{settings_dir, model_folder(program_dir),
                                                    from_path(settings.seed)});
    // A terminal's Ctrl+C, kill, a closed session: ended as the exit items end the program.
    const zento::ExitSignals exit_signals;
    QObject::connect(&exit_signals, &zento::ExitSignals::received, &window, [&window](int sig) {
        std::fprintf(stderr, "zento: %s: closing the port and any recording, as Exit does\n",
                     zento::ExitSignals::name(sig));
        window.Exit_program();
    });
    window.connection().use_for_this_run(options.port, options.settings);
    if (options.udp) window.stream().use_for_this_run(*options.udp);
    window.show();
    if (options.connect) window.connection().iSwitchLedX1_Click();
    if (options.record) window.recording().Start_recording();
    if (!options.play.empty()) {
        window.playback().play(QString::fromLocal8Bit(options.play.c_str()),
                               zento::playback_speed(options.speed.value_or(1.0)));
    }
    return app.exec();
}
