#include "platform/serial/qt_serial_port.h"

#include "platform/serial/device_access.h"
#include "platform/serial/line_settings.h"
#include "platform/serial/port_order.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QSerialPortInfo>

#include <algorithm>

namespace zento {

namespace {

std::vector<std::string> system_devices() {
    std::vector<std::string> out;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        out.push_back(info.systemLocation().toStdString());
    return out;
}

SerialDeviceId id_of(const QSerialPortInfo& info) {
    SerialDeviceId id;
    id.path = info.systemLocation().toStdString();
    id.serial_number = info.serialNumber().toStdString();
    if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
        id.vendor = info.vendorIdentifier();
        id.product = info.productIdentifier();
        id.product_name = info.description().toStdString();
    }
    return id;
}

std::vector<SerialDeviceId> system_device_ids() {
    std::vector<SerialDeviceId> out;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        out.push_back(id_of(info));
    return out;
}

QSerialPort::Parity parity_of(char p) {
    switch (p) {
    case 'e':
        return QSerialPort::EvenParity;
    case 'o':
        return QSerialPort::OddParity;
    case 'm':
        return QSerialPort::MarkParity;
    case 's':
        return QSerialPort::SpaceParity;
    default:
        return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits stop_of(StopBits s) {
    switch (s) {
    case StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case StopBits::Two:
        return QSerialPort::TwoStop;
    default:
        return QSerialPort::OneStop;
    }
}

} // namespace

QtSerialPortControl::QtSerialPortControl(QString program_dir, QObject* parent, Clock& clock)
    : QObject(parent), program_dir_(std::move(program_dir)), clock_(clock) {
    list_devices = system_devices;
    list_device_ids = system_device_ids;
    // QSerialPort's own buffer is drained on every readyRead; the bound is a backstop.
    serial_.setReadBufferSize(64 * 1024);
    connect(&serial_, &QSerialPort::readyRead, this, &QtSerialPortControl::on_ready_read);
    pace_timer_ = clock_.make_timer(this, true);
    pace_timer_->setSingleShot(true);
    connect(pace_timer_, &Timer::timeout, this, &QtSerialPortControl::deliver);
    connect(&serial_, &QSerialPort::errorOccurred, this, &QtSerialPortControl::on_error);
}

QtSerialPortControl::~QtSerialPortControl() {
    serial_.disconnect(this);
    close_port();
}

void QtSerialPortControl::close_port() {
    serial_.close();
    lock_.release();
}

void QtSerialPortControl::setInBufferCount(std::int16_t count) {
    if (count != 0) return;
    input_.clear();
    overflow_ = false;
    // What the port has read is dropped; the system's buffer is not flushed: a flush between
    // the port's read notification and its read makes the read fail with EAGAIN, which
    // QSerialPort takes for a lost device and stops reading.
    if (serial_.isOpen()) discard(std::size_t(std::max<qint64>(0, serial_.bytesAvailable())));
}

void QtSerialPortControl::discard(std::size_t n) {
    char sink[4096];
    while (n > 0) {
        const qint64 got = serial_.read(sink, qint64(std::min(n, sizeof sink)));
        if (got <= 0) break;
        n -= std::size_t(got);
    }
}

void QtSerialPortControl::setOutBufferCount(std::int16_t count) {
    if (count == 0 && serial_.isOpen()) serial_.clear(QSerialPort::Output);
}

void QtSerialPortControl::setRThreshold(std::int16_t threshold) {
    rthreshold_ = threshold;
    if (threshold >= 1 && (!input_.empty() || overflow_)) schedule_delivery();
}

void QtSerialPortControl::setCommPort(std::int16_t port) {
    if (serial_.isOpen()) return; // the number of an open port never changes
    if (port != comm_port_) {
        gone_.reset(); // another port: the one that went away is no longer awaited
        reopen_path_.clear();
    }
    comm_port_ = port;
}

bool QtSerialPortControl::deviceReturned() {
    if (serial_.isOpen()) return false;
    if (!gone_) { // not there when it was to be opened: is there one now?
        const Target t = absent_ ? resolve(comm_port_) : Target{};
        return !t.path.isEmpty() && QFileInfo::exists(t.path);
    }
    reopen_path_.clear();
    const Target t = resolve(comm_port_);
    if (!t.path.isEmpty() && t.path.toStdString() == gone_->path && QFileInfo::exists(t.path))
        return true; // back where it was (a link's target is followed)
    const auto now = list_device_ids ? list_device_ids() : std::vector<SerialDeviceId>{};
    const auto found = find_returned_device(*gone_, now);
    if (!found) return false;
    reopen_path_ = QString::fromStdString(*found);
    return true;
}

bool QtSerialPortControl::setSettings(const std::string& settings) {
    const LineSettingsParse p = parse_line_settings(settings);
    if (!p.settings || serial_.isOpen()) return false;
    settings_ = p.settings->text();
    return true;
}

QtSerialPortControl::Target QtSerialPortControl::resolve(int port) const {
    Target t;
    if (!device_path_.isEmpty()) {
        const QString dest = QFileInfo(device_path_).canonicalFilePath();
        t.path = device_path_;
        t.shown = dest.isEmpty() || dest == device_path_
                      ? device_path_
                      : device_path_ + QStringLiteral(" -> ") + dest;
        t.brief = QString::fromStdString(
            short_device_name((dest.isEmpty() ? device_path_ : dest).toStdString()));
        return t;
    }
#ifdef Q_OS_WIN
    t.path = t.shown = t.brief = QStringLiteral("COM%1").arg(port);
#else
    const QString link = program_dir_ + QStringLiteral("/ports/com%1").arg(port);
    const QFileInfo fi(link);
    if (fi.isSymLink() || fi.exists()) {
        QString dest = link;
        if (fi.isSymLink()) {
            dest = fi.canonicalFilePath();
            if (dest.isEmpty()) dest = fi.symLinkTarget(); // dangling: show where it points
        }
        t.path = link;
        t.shown = dest == link ? link : link + QStringLiteral(" -> ") + dest;
        t.brief = QString::fromStdString(short_device_name(dest.toStdString()));
        return t;
    }
    const std::vector<std::string> ordered =
        order_serial_devices(list_devices ? list_devices() : std::vector<std::string>{});
    if (const auto dev = nth_serial_device(ordered, port)) {
        t.path = t.shown = QString::fromStdString(*dev);
        t.brief = QString::fromStdString(short_device_name(*dev));
    }
#endif
    return t;
}

std::string QtSerialPortControl::deviceFor(std::int16_t port) const {
    return resolve(port).brief.toStdString();
}

bool QtSerialPortControl::setPortOpen(bool open) {
    if (!open) {
        close_port();
        input_.clear();
        overflow_ = false;
        return true;
    }
    if (serial_.isOpen()) return true;
    absent_ = false;
    Target t = resolve(comm_port_);
    if (!reopen_path_.isEmpty()) // the device that went away, back under a new name
        t = Target{reopen_path_, reopen_path_,
                   QString::fromStdString(short_device_name(reopen_path_.toStdString()))};
    const std::string name = "Com" + std::to_string(comm_port_);
    if (t.path.isEmpty()) {
        last_error_ = name + ": no serial device has this port number";
        absent_ = true;
        return false;
    }
    open_description_ =
        device_path_.isEmpty() ? name + " (" + t.shown.toStdString() + ")" : t.shown.toStdString();
    const LineSettings s = parse_line_settings(settings_).settings.value_or(LineSettings{});
    open_path_ = t.path;
    // The device itself, whichever link leads there: the lock and QSerialPort's own lock file
    // are taken on it.
    QString device = QFileInfo(t.path).canonicalFilePath();
    if (device.isEmpty()) device = t.path; // missing: opening says so
    std::string busy;
    if (!lock_.acquire(QFile::encodeName(device).toStdString(), &busy)) {
        last_error_ = open_description_ + ": " + busy;
        return false;
    }
    serial_.setPortName(device);
    serial_.setBaudRate(s.baud);
    serial_.setDataBits(QSerialPort::DataBits(s.data_bits));
    serial_.setParity(parity_of(s.parity));
    serial_.setStopBits(stop_of(s.stop));
    serial_.setFlowControl(QSerialPort::NoFlowControl);
    input_.clear();
    overflow_ = false;
    failing_ = false;
    if (!serial_.open(QIODevice::ReadWrite)) {
        // QSerialPort's own lock file taken by another program (between our look and its own):
        // say so in the same words.
        std::string reason = serial_.errorString().toStdString();
        if (serial_.error() == QSerialPort::PermissionError) {
            const std::string path = QFile::encodeName(device).toStdString();
            if (std::string held = lock_.lock_file_refusal(path); !held.empty())
                reason = held;
            else if (std::string advice = device_permission_advice(path); !advice.empty())
                reason += "; " + advice;
        }
        last_error_ = open_description_ + ": " + reason;
        absent_ = !QFileInfo::exists(t.path); // (a link is followed)
        close_port();
        return false;
    }
    ++generation_;
    last_error_.clear();
    opened_id_ = SerialDeviceId{t.path.toStdString(), {}, -1, -1, {}};
    for (const SerialDeviceId& usb :
         list_device_ids ? list_device_ids() : std::vector<SerialDeviceId>{})
        if (QString::fromStdString(usb.path) == device) {
            opened_id_ = usb;
            opened_id_.path = t.path.toStdString();
        }
    open_line_ = describe_opened_device(comm_port_, t.shown.toStdString(), opened_id_);
    gone_.reset();
    reopen_path_.clear();
    return true;
}

bool QtSerialPortControl::Output(std::span<const std::uint8_t> bytes) {
    if (!serial_.isOpen()) {
        last_error_ = "Com" + std::to_string(comm_port_) + ": the port is not open";
        return false;
    }
    const qint64 n =
        serial_.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    if (n != qint64(bytes.size())) {
        last_error_ = open_description_ + ": " + serial_.errorString().toStdString();
        return false;
    }
    return true;
}

std::vector<std::uint8_t> QtSerialPortControl::Input() {
    std::vector<std::uint8_t> out;
    out.swap(input_);
    taken_time_ = input_time_;
    return out;
}

void QtSerialPortControl::on_ready_read() {
    // Straight from the port's buffer into the bounded input buffer; what does not fit is
    // read and dropped, and reported as an overflow.
    const auto available = std::size_t(std::max<qint64>(0, serial_.bytesAvailable()));
    const std::size_t room = kInputCapacity - std::min(kInputCapacity, input_.size());
    const std::size_t take = std::min(room, available);
    const std::size_t before = input_.size();
    input_.resize(before + take);
    const qint64 got = serial_.read(reinterpret_cast<char*>(input_.data() + before), qint64(take));
    input_.resize(before + std::size_t(std::max<qint64>(0, got)));
    if (got > 0) input_time_ = link_clock_ns();
    if (take < available) {
        discard(available - take);
        overflow_ = true;
    }
    if (!in_handler_) deliver_paced();
}

void QtSerialPortControl::deliver_paced() {
    const std::int64_t since = event_ms_ < 0 ? -1 : clock_.now_ms() - event_ms_;
    if (min_event_interval_ms_ == 0 || since < 0 || since >= min_event_interval_ms_) {
        pace_timer_->stop();
        deliver();
    } else if (!pace_timer_->isActive()) {
        pace_timer_->start(int(min_event_interval_ms_ - since));
    }
}

void QtSerialPortControl::schedule_delivery() {
    if (delivery_queued_) return;
    delivery_queued_ = true;
    QMetaObject::invokeMethod(this, &QtSerialPortControl::deliver, Qt::QueuedConnection);
}

void QtSerialPortControl::deliver() {
    delivery_queued_ = false;
    if (in_handler_ || !serial_.isOpen() || rthreshold_ < 1 || !OnComm) return;
    if (overflow_) {
        overflow_ = false;
        comm_event_ = kCommEventRxOver;
    } else if (!input_.empty()) {
        comm_event_ = kCommEventReceive;
    } else {
        return;
    }
    in_handler_ = true;
    event_ms_ = clock_.now_ms();
    OnComm();
    in_handler_ = false;
}

void QtSerialPortControl::on_error(QSerialPort::SerialPortError error) {
    if (!serial_.isOpen() || failing_) return;
    switch (error) {
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
    case QSerialPort::PermissionError:
    case QSerialPort::DeviceNotFoundError:
    case QSerialPort::UnknownError: {
        // Closed from the event loop, not from inside QSerialPort's own notification.
        failing_ = true;
        // An unplugged device leaves a stale system text behind; say what happened instead.
        const QString reason = QFileInfo::exists(open_path_) ? serial_.errorString()
                                                             : QStringLiteral("the device is gone");
        QMetaObject::invokeMethod(
            this, [this, reason, g = generation_] { fail(reason, g); }, Qt::QueuedConnection);
        break;
    }
    default:
        break;
    }
}

void QtSerialPortControl::fail(const QString& reason, unsigned generation) {
    if (generation != generation_) return;
    failing_ = false;
    if (!serial_.isOpen()) return;
    close_port();
    input_.clear();
    overflow_ = false;
    last_error_ = open_description_ + ": " + reason.toStdString();
    gone_ = opened_id_;
    if (OnFailure) OnFailure(last_error_);
}

} // namespace zento
