#pragma once
// The "Link and sensor health" window: every figure of a HealthMonitor over the last 10 s and
// since connect, its state as a colour and a word, its thresholds and what the state usually
// means; below, the three sensor scales, which are written to Zento.ini when changed.
//
// A summary line at the top says "All good" or how many figures are bad and doubtful.
//
// A plain top-level window, never modal. It refreshes twice a second only while shown; while
// hidden it has no timer running and asks the monitor nothing. It knows the monitor (by
// reference; it must outlive the window), a clock (the same monotonic seconds the monitor is
// fed with) and the settings file, nothing else.
#include <filesystem>
#include <functional>

#include <QRect>
#include <QString>
#include <QTimer>
#include <QWidget>

#include "health/health_monitor.h"
#include "settings/settings_location.h"

class QLabel;
class QLineEdit;
class QTableWidget;

namespace zento {

// Where a window of `wanted` size opens beside the window `main` (its frame) on `screen` (the
// available part): to its right, else to its left, narrowed to the room there down to
// `min_width`; with less room than that, at the screen's edge on the roomier side. Never beyond
// the screen.
QRect place_beside(const QRect& main, QSize wanted, int min_width, const QRect& screen);

class HealthWindow : public QWidget {
    Q_OBJECT
  public:
    using Clock = std::function<double()>;

    HealthWindow(HealthMonitor& monitor, Clock now, SettingsFile ini_file,
                 QWidget* parent = nullptr);

    static constexpr int kRefreshMs = 500;

    // Shows the monitor's figures as of now (the timer calls it; so may anyone).
    void refresh();
    bool refreshing() const { return timer_.isActive(); }

    // Controls, by role.
    QTableWidget* figureTable = nullptr;
    QLabel* summaryLabel = nullptr; // "All good", "1 figure bad, 2 doubtful"
    QLabel* connectionLabel = nullptr;
    QLineEdit* accelScaleEdit = nullptr;
    QLineEdit* gyroScaleEdit = nullptr;
    QLineEdit* magScaleEdit = nullptr;
    QLabel* scaleMessageLabel = nullptr;

  protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

  private:
    void build_table();
    void apply_scale(QLineEdit* edit);
    void show_scales();
    // Sets a cell's text; true when the row may need another height.
    bool set_cell(int row, int col, const QString& text);

    HealthMonitor& monitor_;
    Clock now_;
    SettingsFile ini_file_;
    QTimer timer_;
    int rows_[kFigureCount] = {};
};

} // namespace zento
