#include "shell/playback_control.h"

#include "shell/paths_and_times.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QTimer>

#include <array>
#include <chrono>
#include <cmath>

namespace zento {

namespace {

using std::chrono::nanoseconds;
using std::chrono::seconds;

constexpr std::array<PlaybackSpeed, 7> kSpeeds{
    PlaybackSpeed::quarter, PlaybackSpeed::half, PlaybackSpeed::x1,     PlaybackSpeed::x2,
    PlaybackSpeed::x5,      PlaybackSpeed::x10,  PlaybackSpeed::fastest};

// A click on the slider's groove moves the handle there (and a drag goes on from there), rather
// than a page towards it.
class ClickToPosition : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override {
        if (hint == SH_Slider_AbsoluteSetButtons) return Qt::LeftButton;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

} // namespace

PlaybackControl::PlaybackControl(const PlaybackControls& controls, QWidget* window)
    : QObject(window), c_(controls), window_(window), position_timer_(new QTimer(this)),
      seek_timer_(new QTimer(this)) {
    for (const char* s : {"0.25x", "0.5x", "1x", "2x", "5x", "10x", "As fast as possible"})
        c_.speed->addItem(QString::fromLatin1(s));
    c_.speed->setAccessibleName(QStringLiteral("Playback speed"));
    c_.slider->setAccessibleName(QStringLiteral("Position"));
    c_.slider->setAccessibleDescription(QStringLiteral("Seconds from the recording's start"));
    auto* style = new ClickToPosition;
    style->setParent(c_.slider);
    c_.slider->setStyle(style);
    c_.slider->setSingleStep(1);
    c_.slider->setPageStep(10);
    position_timer_->setInterval(100);
    connect(position_timer_, &QTimer::timeout, this, &PlaybackControl::show_position);
    seek_timer_->setSingleShot(true);
    seek_timer_->setInterval(0);
    connect(seek_timer_, &QTimer::timeout, this,
            [this] { seek(seconds(c_.slider->sliderPosition())); });
    connect(c_.slider, &QSlider::actionTriggered, this, [this] { seek_timer_->start(); });
    connect(c_.open, &QAction::triggered, this, &PlaybackControl::Open_recording);
    connect(c_.stop, &QPushButton::clicked, this, &PlaybackControl::Stop_playback);
    connect(c_.pause, &QPushButton::clicked, this, &PlaybackControl::togglePause);
    connect(c_.speed, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (port_ && i >= 0 && i < int(kSpeeds.size())) port_->setSpeed(kSpeeds[std::size_t(i)]);
    });
    // The bar's keys, wherever the focus is in the window, while a recording plays.
    const std::pair<QKeySequence, std::function<void()>> keys[] = {
        {Qt::Key_Space, [this] { togglePause(); }},
        {Qt::Key_Left, [this] { step(-1, false); }},
        {Qt::Key_Right, [this] { step(1, false); }},
        {Qt::SHIFT | Qt::Key_Left, [this] { step(-1, true); }},
        {Qt::SHIFT | Qt::Key_Right, [this] { step(1, true); }},
        {Qt::Key_Home, [this] { seek(nanoseconds(0)); }},
        {Qt::Key_End, [this] { seek(port_ ? port_->seekable() : nanoseconds(0)); }}};
    for (const auto& [key, run] : keys) {
        auto* k = new QShortcut(key, window_);
        k->setContext(Qt::WindowShortcut);
        k->setEnabled(false);
        connect(k, &QShortcut::activated, this, run);
        keys_.push_back(k);
    }
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
    bar_visible(false);
    c_.caption->setVisible(false);
}

PlaybackControl::~PlaybackControl() = default;

void PlaybackControl::bar_visible(bool on) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{c_.pause, c_.slider, c_.position, c_.speed, c_.stop})
        w->setVisible(on);
    if (!on) c_.paused->setVisible(false);
    for (QShortcut* k : keys_)
        k->setEnabled(on);
}

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
    {
        const QSignalBlocker quiet(c_.speed);
        for (std::size_t i = 0; i < kSpeeds.size(); ++i)
            if (kSpeeds[i] == speed) c_.speed->setCurrentIndex(int(i));
    }
    c_.caption->setVisible(true);
    bar_visible(true);
    show_state();
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

void PlaybackControl::togglePause() {
    if (!port_) return;
    if (port_->paused())
        port_->resume();
    else
        port_->pause();
    show_state();
    show_position();
}

void PlaybackControl::show_state() {
    const bool paused = port_ && port_->paused();
    c_.pause->setText(paused ? QStringLiteral("Play") : QStringLiteral("Pause"));
    c_.paused->setVisible(paused);
}

void PlaybackControl::seek(nanoseconds target) {
    if (!port_ || seeking_) return;
    seek_timer_->stop();
    seeking_ = true;
    if (seek_to) seek_to(std::clamp(target, nanoseconds(0), port_->seekable()));
    seeking_ = false;
    show_position();
}

void PlaybackControl::seek_to_time(double t) {
    if (port_ && std::isfinite(t)) seek(nanoseconds(std::llround(t * 1e9) - port_->origin()));
}

void PlaybackControl::step(int direction, bool batch) {
    if (!port_) return;
    if (!batch) return seek(port_->position() + direction * nanoseconds(seconds(1)));
    if (direction < 0) // the batch before the one shown last
        return seek(nanoseconds(std::max<std::int64_t>(0, port_->lastBatchTime() - 1)));
    if (const auto next = port_->nextBatchTime()) seek(nanoseconds(*next));
}

void PlaybackControl::batch(const TelemetryBatch& b) {
    if (!port_ || seeking_) return;
    for (const LinkEvent& e : b.events)
        emit message(
            QStringLiteral("At %1 of the recording: %2%3")
                .arg(play_clock_text(nanoseconds(e.time_ns - port_->origin())),
                     e.kind == LinkEvent::Kind::command ? QStringLiteral("command ") : QString(),
                     QString::fromStdString(event_label(e))));
}

void PlaybackControl::end(const QString& why) {
    if (!port_) return;
    position_timer_->stop();
    seek_timer_->stop();
    show_position();
    emit message(QStringLiteral("Playback of %1 ended at %2: %3")
                     .arg(from_path(port_->file().filename()), clock_text(port_->position()), why));
    port_->OnEnd = nullptr;
    port_->OnDamage = nullptr;
    port_->setPortOpen(false);
    emit finished();
    // The port may be inside its own call (OnEnd): let go of it once that has returned.
    QTimer::singleShot(0, this, [old = std::shared_ptr<PlaybackPort>(std::move(port_))] {});
    bar_visible(false);
    c_.caption->setText(QStringLiteral("Played ") + c_.caption->text().mid(8));
}

void PlaybackControl::show_position() {
    if (!port_) return;
    const auto length = port_->length();
    c_.position->setText(play_clock_text(port_->position()) + QStringLiteral(" / ") +
                         (length ? play_clock_text(*length) : QStringLiteral("--:--.-")));
    const int reach = int(std::chrono::duration_cast<seconds>(port_->seekable()).count());
    if (c_.slider->maximum() != reach) c_.slider->setMaximum(reach);
    if (!c_.slider->isSliderDown() && !seek_timer_->isActive()) {
        const QSignalBlocker quiet(c_.slider);
        c_.slider->setValue(int(std::chrono::duration_cast<seconds>(port_->position()).count()));
    }
}

} // namespace zento
