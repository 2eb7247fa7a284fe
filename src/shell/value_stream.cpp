#include "shell/value_stream.h"

#include "dialogs/stream_dialog.h"

#include "telemetry/frame_json.h"

#include <QHostInfo>
#include <QTimer>
#include <QUdpSocket>

namespace zento {

namespace {

QString text_of(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

ValueStream::ValueStream(SettingsFile ini_file, QWidget* window)
    : QObject(window), ini_file_(std::move(ini_file)), window_(window) {
    json_.reserve(256);
    // After start-up's log lines, unless the command line chose a stream meanwhile.
    QTimer::singleShot(0, this, &ValueStream::start_from_settings);
}

ValueStream::~ValueStream() {
    if (lookup_ >= 0) QHostInfo::abortHostLookup(lookup_);
}

void ValueStream::start_from_settings() {
    if (running_) return;
    const StreamSettings s = read_stream_settings(ini_file_);
    target_ = s.target;
    if (!s.problem.empty()) emit message(text_of(s.problem));
    if (s.send) start(s.target);
}

void ValueStream::use_for_this_run(const StreamTarget& target) {
    start(target);
    emit message(QStringLiteral("Stream values: %1 for this run (from the command line; the "
                                "settings file is not changed)")
                     .arg(text_of(target.text())));
}

void ValueStream::start(const StreamTarget& target) {
    if (lookup_ >= 0) QHostInfo::abortHostLookup(lookup_);
    lookup_ = -1;
    delete socket_;
    socket_ = new QUdpSocket(this);
    target_ = target;
    running_ = true;
    failed_ = false;
    sent_ = 0;
    const QString host = text_of(target.host);
    if (!address_.setAddress(host)) {
        address_.clear();
        lookup_ = QHostInfo::lookupHost(host, this, &ValueStream::resolved);
    }
    emit message(QStringLiteral("Stream values: each decoded frame as JSON to %1 (UDP)")
                     .arg(text_of(target.text())));
}

void ValueStream::stop() {
    if (!running_) return;
    if (lookup_ >= 0) QHostInfo::abortHostLookup(lookup_);
    lookup_ = -1;
    running_ = false;
    address_.clear();
    socket_->close();
    emit message(QStringLiteral("Stream values: stopped (%1 datagrams sent)").arg(sent_));
}

void ValueStream::resolved(const QHostInfo& info) {
    if (info.lookupId() != lookup_) return;
    lookup_ = -1;
    const QList<QHostAddress> all = info.addresses();
    for (const QHostAddress& a : all) // IPv4 first: where such servers usually listen
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            address_ = a;
            return;
        }
    if (!all.isEmpty()) {
        address_ = all.first();
        return;
    }
    failed_ = true;
    emit message(QStringLiteral("Stream values: cannot find the host %1: %2; nothing is sent")
                     .arg(text_of(target_.host), info.errorString()));
}

void ValueStream::batch(const TelemetryBatch& b) {
    if (!running_ || address_.isNull()) return;
    for (const TelemetryFrame& f : b.frames) {
        frame_json(f, json_);
        if (socket_->writeDatagram(json_.data(), qint64(json_.size()), address_, target_.port) >=
            0) {
            ++sent_;
        } else if (!failed_) {
            failed_ = true;
            emit message(QStringLiteral("Stream values: sending to %1 failed: %2 (further "
                                        "failures are not logged until the stream is started "
                                        "again)")
                             .arg(text_of(target_.text()), socket_->errorString()));
        }
    }
}

void ValueStream::apply(bool send, const StreamTarget& target) {
    const IniWriteResult r = write_stream_settings(ini_file_, send, target);
    if (!r.ok) emit message(QStringLiteral("Zento.ini was not saved: ") + text_of(r.error));
    if (send)
        start(target);
    else
        stop();
    target_ = target;
}

void ValueStream::Show_dialog() {
    if (!dialog_) {
        dialog_ = new StreamDialog(window_);
        connect(dialog_, &StreamDialog::chosen, this, &ValueStream::apply);
    }
    dialog_->show_settings(running_, target_);
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}

} // namespace zento
