#pragma once
// The "Statistics" window (Record > "Statistics..."): the statistics of an interval of one
// recording, for characterising the sensors of a board that lies still (interval_stats.h).
//
// open(file) reads the recording and finds its still intervals (still_intervals.h), then
// shows the figures of the whole recording. The user chooses another interval: the whole
// recording again, a range typed (from, to: seconds from the recording's start) or dragged on
// the overview (the gyroscope's magnitude against time, the still intervals shaded green, the
// chosen range blue), or a still interval from the list (its start and length).
//
// Reading and computing run on a thread of their own (std::jthread; the core takes its stop
// token and reports progress, which the progress bar shows while the window stays live).
// Choosing another interval, opening another file and closing the window stop what runs; what
// a stopped job found is never shown.
//
// Shown: per channel (the nine sensor axes, yaw, pitch, roll) the mean, standard deviation,
// minimum and maximum in physical units and in counts, the noise density, and for the gyroscope
// and the accelerometer the random walk and the bias instability with their units; the Allan
// deviation as log-log plots, one per sensor with its three axes, each curve's reading at
// tau = 1 s and its minimum marked. An interval without figures shows the core's message and
// nothing else; a figure that is not there shows a dash: never NaN or infinity.
//
// Export: the table and the curves as CSV (stats_csv, allan_csv), the three plots side by side
// as PNG or SVG. The scales are the health scales of the settings file (read_health_scales),
// read again for each computation, so the figures are in the units the user set.
//
// The window's controls and their layout are in statistics_window_layout.cpp, what they do (the
// job, the choice of interval, the exports) in statistics_window.cpp, the figure table and the
// texts of figures in statistics_table.h, the plots and their exported picture in
// statistics_plots.h.
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "settings/settings_location.h"
#include "statistics/interval_stats.h"
#include "statistics/still_intervals.h"

class QCustomPlot;
class QCPItemRect;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QMouseEvent;
class QProgressBar;
class QPushButton;
class QTableWidget;

namespace zento {

class StatisticsWindow : public QWidget {
    Q_OBJECT
  public:
    explicit StatisticsWindow(SettingsFile ini_file, QWidget* parent = nullptr);
    ~StatisticsWindow() override; // stops what runs and waits for it

    // Reads `file` and shows the whole recording's figures; an empty `file` asks for one
    // (ask_file, starting in start_folder()): false, and nothing changes, when none is chosen.
    bool open(const QString& file);
    // The interval: the whole recording, seconds from its start (both ends included), or the
    // still interval of that row of the list.
    void chooseWhole();
    void chooseRange(double from, double to);
    void chooseStill(int row);
    // Stops what runs ("Stopped." when something did).
    void cancel();

    bool busy() const { return running_; }
    const QString& file() const { return file_; }
    // The figures shown (nullptr while none are).
    const IntervalStats* stats() const { return shown_.get(); }
    const std::vector<StillInterval>& stillIntervals() const { return still_; }

    // The exports; false (and the message line says why) when the file was not written.
    bool exportTable(const QString& path);
    bool exportCurves(const QString& path);
    bool exportPlots(const QString& path); // PNG, or SVG when the name ends in .svg

    // Replaceable (tests): the recording to open, the file to save to.
    std::function<QString(const QString& folder)> ask_file;
    std::function<QString(const QString& suggested, const QString& filter)> ask_save_file;
    std::function<std::filesystem::path()> start_folder;

    // Controls, by role.
    QLabel* fileLabel = nullptr;
    QLabel* rateCaption = nullptr;
    QDoubleSpinBox* rateEdit = nullptr; // a plain capture's attitude frames a second
    QProgressBar* progressBar = nullptr;
    QLabel* messageLabel = nullptr; // what is going on, or why there are no figures
    QCustomPlot* overview = nullptr;
    QPushButton* wholeButton = nullptr;
    QLineEdit* fromEdit = nullptr;
    QLineEdit* toEdit = nullptr;
    QPushButton* rangeButton = nullptr;
    QTableWidget* stillTable = nullptr;
    QLabel* summaryLabel = nullptr;
    QTableWidget* figureTable = nullptr;
    std::array<QCustomPlot*, 3> allanPlots{}; // accelerometer, gyroscope, magnetometer
    QPushButton* exportTableButton = nullptr;
    QPushButton* exportCurvesButton = nullptr;
    QPushButton* exportPlotsButton = nullptr;

  protected:
    void closeEvent(QCloseEvent* e) override;

  private:
    struct Result;
    void build();
    void start(bool load, double from, double to);
    void finished(unsigned job, const std::shared_ptr<Result>& r);
    void show_progress();
    void show_loaded(Result& r);
    void show_stats();
    void clear_figures();
    void show_range();
    void say(const QString& text, bool problem = false);
    void apply_typed_range();
    void ask_and_export(int what);
    bool save(const QString& path, const QByteArray& bytes);
    QString suggested(const QString& suffix) const;
    void overview_press(QMouseEvent* e);
    void overview_move(QMouseEvent* e);
    void overview_release(QMouseEvent* e);

    SettingsFile ini_file_;
    QString file_;
    std::shared_ptr<const FrameLog> log_;
    std::vector<StillInterval> still_;
    double length_ = 0;
    double from_ = 0, to_ = 0; // the interval chosen
    std::shared_ptr<const IntervalStats> shown_;
    QString notes_; // said with every interval's figures (damage, a recording still growing)

    std::jthread job_;
    unsigned job_id_ = 0;
    bool running_ = false;
    std::atomic<int> permille_{0};
    std::atomic<int> phase_{0}; // 0 reading, 1 still intervals, 2 computing
    QTimer progress_timer_;

    QCPItemRect* range_item_ = nullptr;
    std::vector<QCPItemRect*> still_items_;
    double drag_from_ = 0;
    bool dragging_ = false;
};

} // namespace zento
