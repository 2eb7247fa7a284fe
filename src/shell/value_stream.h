#pragma once
// "Stream values": each decoded frame as one UDP datagram of JSON (telemetry/frame_json.h) to an
// address chosen under Setting > "Stream values..." (kept in Zento.ini:
// settings/stream_settings.h) or given for one run (`zento --udp HOST:PORT`), for plotting and
// robotics tools: PlotJuggler's UDP server (JSON) listens on 127.0.0.1:9870 by default.
//
// A sink of the receive path: it sends what the dispatch decoded, the port's frames and a
// recording's alike. It never blocks the window: the socket does not wait (a datagram the system
// cannot take is a failure, not a wait), and a host name is looked up in the background (frames
// are not sent until it is known). The log gets one line when the stream starts or stops, and
// one when sending fails: the first failure only, until the stream is started again.
#include "settings/settings_location.h"
#include "settings/stream_settings.h"
#include "telemetry/frame_dispatch.h"

#include <QHostAddress>
#include <QObject>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>

class QHostInfo;
class QUdpSocket;

namespace zento {

class StreamDialog;

class ValueStream : public QObject, public TelemetrySink {
    Q_OBJECT
  public:
    ValueStream(SettingsFile ini_file, QWidget* window);
    ~ValueStream() override;

    // Start-up: the line to report when Zento.ini's address was not usable ("").
    QString settings_problem() const { return settings_problem_; }
    // Start-up: streams when Zento.ini says so.
    void start_from_settings();
    // `zento --udp`: streams to `target` for this run; Zento.ini is not changed.
    void use_for_this_run(const StreamTarget& target);

    void start(const StreamTarget& target);
    void stop();
    bool running() const { return running_; }
    const StreamTarget& target() const { return target_; }
    std::uint64_t sent() const { return sent_; } // datagrams since started

    void batch(const TelemetryBatch& b) override;

    void Show_dialog();                              // Setting > "Stream values..."
    StreamDialog* dialog() const { return dialog_; } // nullptr until first shown

  signals:
    void message(const QString& text);

  private:
    void resolved(const QHostInfo& info);
    void apply(bool send, const StreamTarget& target);

    SettingsFile ini_file_;
    QWidget* window_;
    StreamDialog* dialog_ = nullptr;
    QUdpSocket* socket_ = nullptr;
    QString settings_problem_;
    StreamTarget target_;
    QHostAddress address_; // null while the host is looked up
    int lookup_ = -1;      // the pending lookup's id
    bool running_ = false;
    bool failed_ = false; // a failure was logged since the start
    std::uint64_t sent_ = 0;
    std::string json_; // reused for every datagram
};

} // namespace zento
