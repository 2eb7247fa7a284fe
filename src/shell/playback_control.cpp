#include "shell/playback_control.h"

#include "shell/paths_and_times.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <array>
#include <chrono>
#include <cmath>

namespace zento {

namespace {

constexpr std::array<PlaybackSpeed, 5> kSpeeds{PlaybackSpeed::x1, PlaybackSpeed::x2,
                                               PlaybackSpeed::x5, PlaybackSpeed::x10,
                                               PlaybackSpeed::fastest};

} // namespace

PlaybackControl::PlaybackControl(const PlaybackControls& controls, QWidget* window)
    : QObject(window), c_(controls), window_(window), position_timer_(new QTimer(this)) {
    for (const char* s : {"1x", "2x", "5x", "10x", "As fast as possible"})
        c_.speed->addItem(QString::fromLatin1(s));
    c_.speed->setAccessibleName(QStringLiteral("Playback speed"));
    position_timer_->setInterval(250);
    connect(position_timer_, &QTimer::timeout, this, &PlaybackControl::show_position);
    connect(c_.open, &QAction::triggered, this, &PlaybackControl::Open_recording);
    connect(c_.stop, &QPushButton::clicked, this, &PlaybackControl::Stop_playback);
    connect(c_.pause, &QPushButton::clicked, this, [this] {
        if (!port_) return;
        if (port_->paused())
            port_->resume();
        else
            port_->pause();
        c_.pause->setText(port_->paused() ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    });
    connect(c_.speed, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (port_ && i >= 0 && i < int(kSpeeds.size())) port_->setSpeed(kSpeeds[std::size_t(i)]);
    });
    ask_file = [this] {
        const QString folder = start_folder ? from_path(start_folder()) : QString();
        return QFileDialog::getOpenFileName(
            window_, QStringLiteral("Open recording"), folder,
            QStringLiteral("Recordings (*.pcap *.pcapng *.bin *.cap);;All files (*)"));
    };
    ask_stop_recording = [this] {
        return QMessageBox::question(window_, QStringLiteral("Open recording"),
                                     QStringLiteral("A recording is running. Stop it to open a "
                                                    "recording?")) == QMessageBox::Yes;
    };
    for (QWidget* w :
         std::initializer_list<QWidget*>{c_.caption, c_.pause, c_.speed, c_.position, c_.stop})
        w->setVisible(false);
}

PlaybackControl::~PlaybackControl() = default;

void PlaybackControl::Open_recording() {
    if (recording_running && recording_running()) {
        if (!ask_stop_recording()) return;
        if (stop_recording) stop_recording();
    }
    const QString file = ask_file();
    if (!file.isEmpty()) play(file);
}

bool PlaybackControl::play(const QString& file, PlaybackSpeed speed) {
    if (recording_running && recording_running()) {
        emit message(QStringLiteral("Playback not started: ") + file +
                     QStringLiteral(" would play into the running recording; stop the recording "
                                    "first"));
        return false;
    }
    if (port_) end(QStringLiteral("another recording was opened"));
    auto port = std::make_unique<PlaybackPort>(to_path(file));
    port->setSpeed(speed);
    if (!port->setPortOpen(true)) {
        emit message(QStringLiteral("Playback not started: ") +
                     QString::fromStdString(port->lastError()));
        return false;
    }
    port_ = std::move(port);
    port_->OnDamage = [this](const std::string& where_why) {
        emit message(QStringLiteral("The recording is damaged: %1; played up to there")
                         .arg(QString::fromStdString(where_why)));
    };
    port_->OnEnd = [this] { end(QStringLiteral("end of the recording")); };
    port_->OnGap = [this, named = 0](std::int64_t jump_ns, std::uint64_t offset) mutable {
        constexpr int kNamed = 10; // a file full of jumps does not flood the log
        if (named > kNamed) return;
        if (named++ == kNamed) {
            emit message(QStringLiteral("Further jumps of the recording's time are played as gaps "
                                        "without a line each"));
            return;
        }
        emit message(QStringLiteral("The recording's time jumps %1 by %2 s at byte %3: played at "
                                    "once, as a gap")
                         .arg(jump_ns > 0 ? QStringLiteral("ahead") : QStringLiteral("back"))
                         .arg(QString::number(std::abs(double(jump_ns)) / 1e9, 'f', 0))
                         .arg(offset));
    };
    const QString name = from_path(port_->file().filename());
    c_.caption->setText(QStringLiteral("Playing ") + name);
    c_.pause->setText(QStringLiteral("Pause"));
    {
        const QSignalBlocker quiet(c_.speed);
        for (std::size_t i = 0; i < kSpeeds.size(); ++i)
            if (kSpeeds[i] == speed) c_.speed->setCurrentIndex(int(i));
    }
    for (QWidget* w :
         std::initializer_list<QWidget*>{c_.caption, c_.pause, c_.speed, c_.position, c_.stop})
        w->setVisible(true);
    emit message(QStringLiteral("Playing %1 (%2)")
                     .arg(from_path(port_->file()),
                          port_->format() == RecordingFormat::plain
                              ? QStringLiteral("byte capture, paced as 20 frames a second")
                          : port_->pcapng() ? QStringLiteral("pcapng recording")
                                            : QStringLiteral("pcap recording")));
    emit started(*port_);
    show_position();
    position_timer_->start();
    return true;
}

void PlaybackControl::Stop_playback() {
    if (port_) end(QStringLiteral("stopped"));
}

void PlaybackControl::end(const QString& why) {
    if (!port_) return;
    position_timer_->stop();
    show_position();
    emit message(QStringLiteral("Playback of %1 ended at %2: %3")
                     .arg(from_path(port_->file().filename()), clock_text(port_->position()), why));
    port_->OnEnd = nullptr;
    port_->OnDamage = nullptr;
    port_->setPortOpen(false);
    emit finished();
    // The port may be inside its own call (OnEnd): let go of it once that has returned.
    QTimer::singleShot(0, this, [old = std::shared_ptr<PlaybackPort>(std::move(port_))] {});
    for (QWidget* w : std::initializer_list<QWidget*>{c_.pause, c_.speed, c_.stop})
        w->setVisible(false);
    c_.caption->setText(QStringLiteral("Played ") + c_.caption->text().mid(8));
}

void PlaybackControl::show_position() {
    if (!port_) return;
    const auto length = port_->length();
    c_.position->setText(clock_text(port_->position()) + QStringLiteral(" / ") +
                         (length ? clock_text(*length) : QStringLiteral("..:..:..")));
}

} // namespace zento
