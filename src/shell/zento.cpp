#include "shell/zento.h"

#include "instruments/attitude_indicator.h"
#include "platform/serial/serial_port.h"
#include "platform/widgets/widgets.h"
#include "settings/port_config.h"
#include "settings/settings_location.h"
#include "shell/board_commands.h"
#include "shell/message_log.h"
#include "shell/port_connection.h"
#include "shell/pulse_lamp.h"
#include "shell/telemetry_display.h"
#include "telemetry/strip_chart.h"
#include "view3d/big3d.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QPushButton>

namespace zento {

namespace {

std::filesystem::path to_path(const QString& s) {
    return std::filesystem::path(QFile::encodeName(s).toStdString());
}

} // namespace

Zento::Zento(SerialPort& port, ProgramFolders folders, QWidget* parent)
    : QMainWindow(parent), port_(port), folders_(std::move(folders)) {
    exit_program = [] { QCoreApplication::exit(0); };
    install_widget_accessibility();
    ui.build(this);

    log_ = new MessageLog(ui.messageText, ui.messageLamp, ui.clearButton, this);
    rxd_ = new PulseLamp(ui.rxdLamp, 300, "Timer2", this);
    telemetry_ = new TelemetryDisplay(TelemetryControls{ui.altitudeBar,
                                                        ui.altitudeBarLabel,
                                                        ui.altitudeLabel,
                                                        ui.thermometer,
                                                        ui.thermometerLabel,
                                                        ui.temperatureLabel,
                                                        ui.pressureLabel,
                                                        ui.solutionRateLabel,
                                                        ui.heartbeatLamp,
                                                        ui.horizon,
                                                        ui.horizonRollLabel,
                                                        ui.horizonPitchLabel,
                                                        ui.compass,
                                                        ui.angleLabels,
                                                        ui.sensorLabels,
                                                        ui.updateRateLabel,
                                                        ui.chart,
                                                        ui.scaleChoosers,
                                                        ui.traceChecks,
                                                        ui.followButton},
                                      this);
    connection_ = new PortConnection(port_, ui.portSwitch,
                                     to_path(folders_.settings) / std::string(kIniFileName), this);
    commands_ = new BoardCommands(port_, ui.markBiasButton, ui.heightZeroButton, ui.txdLamp, this);

    // Receive path: port -> receiver -> one decoder -> telemetry display.
    dispatch_.on_message = [this](std::string_view text) { log_->Show_msg(text); };
    dispatch_.on_end_byte = [this] { rxd_->pulse(); };
    dispatch_.add_sink(*telemetry_);
    port_.OnComm = [this] { MSComm_OnComm(); };

    // Everything a part has to say goes to the log.
    connect(connection_, &PortConnection::message, this, &Zento::Show_msg);
    connect(commands_, &BoardCommands::message, this, &Zento::Show_msg);
    connect(ui.chart, &StripChart::message, this, &Zento::Show_msg);
    connect(connection_, &PortConnection::switched, this, [this] { receiver_.Receiver_reset(); });

    connect(ui.comPortAction, &QAction::triggered, connection_, &PortConnection::com_set_Click);
    ui.reconnectAction->setChecked(connection_->autoReconnect());
    connect(ui.reconnectAction, &QAction::toggled, connection_, &PortConnection::setAutoReconnect);
    connect(ui.settingExitAction, &QAction::triggered, this, &Zento::Exit_program);
    connect(ui.exitAction, &QAction::triggered, this, &Zento::Exit_program);
    connect(ui.show3dButton, &QPushButton::clicked, this, &Zento::Command5_Click);

    Form_Load();
}

Zento::~Zento() {
    port_.OnComm = nullptr;
}

void Zento::Form_Load() {
    connection_->prepare_port();
    telemetry_->Form_Load();
    log_->reset();
    const QString problem = connection_->apply_settings_file();
    Show_msg(QStringLiteral("Tavro AHRS DEMO starts successfully!"));
    Show_msg(QStringLiteral("--------    Start    --------"));
    Show_msg(QStringLiteral("--1. Check the serial port settings are correct --"));
    Show_msg(QStringLiteral("--2. Click to open port button to receive data"));
    Show_msg(QStringLiteral("------------------------------"));
    if (!problem.isEmpty()) Show_msg(problem);
    Show_msg(QString::fromStdString(describe_settings_file(connection_->ini_file())));
    ui.horizon->Draw_attitude(QStringLiteral("0"), QStringLiteral("0"));
}

void Zento::Show_msg(const QString& text) {
    log_->Show_msg(text);
}

void Zento::MSComm_OnComm() {
    receiver_.OnComm(port_);
    ui.chart->flush();
}

void Zento::Command5_Click() {
    if (!big3D_) {
        big3D_ = new Big3D(telemetry_->latest_values(), folders_.model, this);
        big3D_->setObjectName(QStringLiteral("big3D"));
        big3D_->app_title = windowTitle();
        // Closing the 3D window (or a model it cannot load) ends the program like "Eixt".
        big3D_->end_program = [this] { Exit_program(); };
    }
    big3D_->Show3D();
}

void Zento::Exit_program() {
    connection_->close();
    if (exit_program) exit_program();
}

void Zento::closeEvent(QCloseEvent* event) {
    // Closing the main window ends the program like the exit items.
    event->accept();
    Exit_program();
}

} // namespace zento
