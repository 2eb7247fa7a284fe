#include "health/health_window.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>

#include "health/health_settings.h"

namespace zento {
namespace {

enum Column { kName, kRecent, kTotal, kState, kThresholds, kMeaning, kColumns };

struct StateLook {
    QColor background, text;
};
StateLook look(HealthState s) {
    switch (s) {
    case HealthState::good:
        return {QColor(0xd9, 0xf2, 0xd9), QColor(0x1b, 0x5e, 0x20)};
    case HealthState::doubtful:
        return {QColor(0xff, 0xef, 0xc2), QColor(0x7a, 0x4f, 0x00)};
    case HealthState::bad:
        return {QColor(0xf9, 0xd0, 0xd0), QColor(0x9b, 0x1c, 0x1c)};
    case HealthState::none:
    case HealthState::not_yet:
        break;
    }
    return {QColor(0xee, 0xee, 0xee), QColor(0x60, 0x60, 0x60)};
}

QString text_of(std::string_view s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QString duration_text(double seconds) {
    const auto s = qint64(seconds);
    if (s < 60) return QStringLiteral("%1 s").arg(s);
    if (s < 3600) return QStringLiteral("%1 min %2 s").arg(s / 60).arg(s % 60);
    return QStringLiteral("%1 h %2 min").arg(s / 3600).arg((s / 60) % 60);
}

QString summary_text(int bad, int doubtful, bool any_good) {
    if (bad == 0 && doubtful == 0)
        return any_good ? QStringLiteral("All good") : QStringLiteral("Nothing judged yet");
    const int first = bad > 0 ? bad : doubtful;
    QString s = QStringLiteral("%1 %2 %3")
                    .arg(first)
                    .arg(first == 1 ? QStringLiteral("figure") : QStringLiteral("figures"))
                    .arg(bad > 0 ? QStringLiteral("bad") : QStringLiteral("doubtful"));
    if (bad > 0 && doubtful > 0) s += QStringLiteral(", %1 doubtful").arg(doubtful);
    return s;
}

} // namespace

QRect place_beside(const QRect& main, QSize wanted, int min_width, const QRect& screen) {
    constexpr int kGap = 8;
    wanted = wanted.boundedTo(screen.size());
    const int right_room = screen.right() - main.right() - kGap;
    const int left_room = main.left() - kGap - screen.left();
    const bool right = right_room >= wanted.width() || right_room >= left_room;
    const int room = right ? right_room : left_room;
    const int width = room >= min_width ? std::min(wanted.width(), room) : wanted.width();
    const int x = right ? main.right() + 1 + kGap : main.left() - kGap - width;
    return {std::clamp(x, screen.left(), screen.right() + 1 - width),
            std::clamp(main.top(), screen.top(), screen.bottom() + 1 - wanted.height()), width,
            wanted.height()};
}

HealthWindow::HealthWindow(HealthMonitor& monitor, Clock now, SettingsFile ini_file,
                           QWidget* parent)
    : QWidget(parent, Qt::Window), monitor_(monitor), now_(std::move(now)),
      ini_file_(std::move(ini_file)) {
    setWindowTitle(QStringLiteral("Link and sensor health"));
    setWindowModality(Qt::NonModal);

    auto* layout = new QVBoxLayout(this);
    summaryLabel = new QLabel(this);
    summaryLabel->setObjectName(QStringLiteral("summaryLabel"));
    QFont bold = summaryLabel->font();
    bold.setBold(true);
    summaryLabel->setFont(bold);
    layout->addWidget(summaryLabel);
    connectionLabel = new QLabel(this);
    connectionLabel->setObjectName(QStringLiteral("connectionLabel"));
    connectionLabel->setFont(bold);
    layout->addWidget(connectionLabel);
    auto* legend = new QLabel(
        QStringLiteral("Each figure over the last 10 s and since connect. \"not judged\": no "
                       "data yet, or a check made only while the board lies still; \"not yet\": "
                       "waits for you (turn the board, \"Marked bias\"); \"good *\" and the "
                       "like: not judged in the last 10 s, the state since connect."),
        this);
    legend->setWordWrap(true);
    layout->addWidget(legend);

    figureTable = new QTableWidget(this);
    figureTable->setObjectName(QStringLiteral("figureTable"));
    build_table();
    layout->addWidget(figureTable, 1);

    // The sensor scales: counts per unit, as the board's sensors are set up.
    auto* scales = new QHBoxLayout;
    scales->addWidget(new QLabel(QStringLiteral("Scales (counts per unit):"), this));
    const struct {
        QLineEdit** edit;
        const char* name;
        const char* label;
    } fields[] = {{&accelScaleEdit, "accelScaleEdit", "accelerometer, per g"},
                  {&gyroScaleEdit, "gyroScaleEdit", "gyroscope, per °/s"},
                  {&magScaleEdit, "magScaleEdit", "magnetometer, per gauss"}};
    for (const auto& f : fields) {
        auto* edit = new QLineEdit(this);
        edit->setObjectName(QString::fromLatin1(f.name));
        edit->setMaximumWidth(90);
        auto* label = new QLabel(QString::fromUtf8(f.label), this);
        label->setBuddy(edit);
        scales->addSpacing(12);
        scales->addWidget(label);
        scales->addWidget(edit);
        connect(edit, &QLineEdit::editingFinished, this, [this, edit] { apply_scale(edit); });
        *f.edit = edit;
    }
    scales->addStretch(1);
    layout->addLayout(scales);
    scaleMessageLabel = new QLabel(this);
    scaleMessageLabel->setObjectName(QStringLiteral("scaleMessageLabel"));
    scaleMessageLabel->setWordWrap(true);
    layout->addWidget(scaleMessageLabel);

    show_scales();
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, &HealthWindow::refresh);
    resize(1260, 860);
}

void HealthWindow::build_table() {
    QTableWidget* t = figureTable;
    t->setColumnCount(kColumns);
    t->setHorizontalHeaderLabels({QStringLiteral("Figure"), QStringLiteral("Last 10 s"),
                                  QStringLiteral("Since connect"), QStringLiteral("State"),
                                  QStringLiteral("Thresholds"),
                                  QStringLiteral("What it usually means")});
    t->verticalHeader()->hide();
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionMode(QAbstractItemView::NoSelection);
    t->setFocusPolicy(Qt::NoFocus);
    t->setWordWrap(true);
    t->setAlternatingRowColors(false);
    t->setShowGrid(false);

    // One heading row per group, then its figures, in the monitor's order.
    std::string_view group;
    int row = 0;
    t->setRowCount(2 * kFigureCount);
    for (int i = 0; i < kFigureCount; ++i) {
        const auto id = FigureId(i);
        if (figure_group(id) != group) {
            group = figure_group(id);
            auto* heading = new QTableWidgetItem(text_of(group));
            QFont font = heading->font();
            font.setBold(true);
            heading->setFont(font);
            heading->setBackground(QColor(0xe3, 0xe8, 0xf0));
            t->setItem(row, 0, heading);
            t->setSpan(row, 0, 1, kColumns);
            ++row;
        }
        rows_[i] = row;
        t->setItem(row, kName, new QTableWidgetItem(text_of(figure_name(id))));
        for (int c = kRecent; c < kColumns; ++c)
            t->setItem(row, c, new QTableWidgetItem);
        t->item(row, kState)->setTextAlignment(Qt::AlignCenter);
        ++row;
    }
    t->setRowCount(row);
    QHeaderView* h = t->horizontalHeader();
    for (int c = 0; c < kMeaning; ++c)
        h->setSectionResizeMode(c, QHeaderView::Interactive);
    h->setSectionResizeMode(kMeaning, QHeaderView::Stretch);
    const int widths[kMeaning] = {270, 175, 215, 85, 200};
    for (int c = 0; c < kMeaning; ++c)
        t->setColumnWidth(c, widths[c]);
}

bool HealthWindow::set_cell(int row, int col, const QString& text) {
    QTableWidgetItem* item = figureTable->item(row, col);
    const QString old = item->text();
    if (old == text) return false;
    item->setText(text);
    // Figures change their digits every refresh; the row's height is worked out again (the
    // costly part of a refresh) only when a text may need another number of lines.
    return col == kThresholds || col == kMeaning || old.isEmpty() || text.isEmpty() ||
           std::abs(old.size() - text.size()) > 3;
}

void HealthWindow::refresh() {
    const HealthReport r = monitor_.report(now_());
    if (!r.connected && r.seconds == 0)
        connectionLabel->setText(QStringLiteral("Not connected: the figures start when the port "
                                                "is opened."));
    else if (!r.connected)
        connectionLabel->setText(
            QStringLiteral("Not connected. The figures are those of the last connection (%1).")
                .arg(duration_text(r.seconds)));
    else
        connectionLabel->setText(QStringLiteral("Connected for %1 at %2 baud.")
                                     .arg(duration_text(r.seconds))
                                     .arg(r.baud));
    int bad = 0, doubtful = 0;
    bool any_good = false;
    for (const HealthFigure& f : r.figures) {
        const int row = rows_[int(f.id)];
        bool relayout = set_cell(row, kRecent, QString::fromStdString(f.recent));
        relayout |= set_cell(row, kTotal, QString::fromStdString(f.total));
        relayout |= set_cell(row, kThresholds, QString::fromStdString(f.thresholds));
        relayout |= set_cell(row, kMeaning, QString::fromStdString(f.meaning));
        if (relayout) figureTable->resizeRowToContents(row);
        const HealthState shown = f.state != HealthState::none ? f.state : f.total_state;
        bad += shown == HealthState::bad;
        doubtful += shown == HealthState::doubtful;
        any_good |= shown == HealthState::good;
        const QString word = f.state != HealthState::none || f.total_state == HealthState::none
                                 ? text_of(state_word(f.state))
                                 : text_of(state_word(f.total_state)) + QStringLiteral(" *");
        QTableWidgetItem* state = figureTable->item(row, kState);
        if (state->text() != word) {
            const StateLook l = look(shown);
            state->setText(word);
            state->setBackground(l.background);
            state->setForeground(l.text);
            QFont font = state->font();
            font.setBold(shown == HealthState::bad);
            state->setFont(font);
            state->setToolTip(f.state == HealthState::none && f.total_state != HealthState::none
                                  ? QStringLiteral("Not judged in the last 10 s; "
                                                   "* the state since connect")
                                  : QString());
        }
    }
    const QString summary = summary_text(bad, doubtful, any_good);
    if (summaryLabel->text() != summary) {
        summaryLabel->setText(summary);
        summaryLabel->setStyleSheet(bad        ? QStringLiteral("color: #9b1c1c;")
                                    : doubtful ? QStringLiteral("color: #7a4f00;")
                                    : any_good ? QStringLiteral("color: #1b5e20;")
                                               : QString());
    }
}

void HealthWindow::show_scales() {
    const HealthScales& s = monitor_.scales();
    accelScaleEdit->setText(QString::fromStdString(scale_text(s.accel_counts_per_g)));
    gyroScaleEdit->setText(QString::fromStdString(scale_text(s.gyro_counts_per_dps)));
    magScaleEdit->setText(QString::fromStdString(scale_text(s.mag_counts_per_gauss)));
}

void HealthWindow::apply_scale(QLineEdit* edit) {
    HealthScales s = monitor_.scales();
    double& value = edit == accelScaleEdit  ? s.accel_counts_per_g
                    : edit == gyroScaleEdit ? s.gyro_counts_per_dps
                                            : s.mag_counts_per_gauss;
    const QString typed = edit->text();
    const auto v = parse_scale(typed.toStdString());
    if (!v) {
        // The typed text stays for correcting; the scale in use does not change.
        scaleMessageLabel->setStyleSheet(QStringLiteral("color: #9b1c1c;"));
        scaleMessageLabel->setText(
            QStringLiteral("\"%1\" is not a scale: give a number from 0.001 to 1000000, with "
                           "\".\" as the decimal point. The scale in use stays %2.")
                .arg(typed, QString::fromStdString(scale_text(value))));
        return;
    }
    if (*v == value) return;
    value = *v;
    monitor_.set_scales(s);
    edit->setText(QString::fromStdString(scale_text(*v)));
    const IniWriteResult w = write_health_scales(ini_file_, s);
    scaleMessageLabel->setStyleSheet(w.ok ? QString() : QStringLiteral("color: #9b1c1c;"));
    scaleMessageLabel->setText(
        w.ok ? QStringLiteral("Scales saved in %1; the sensor figures start again with them.")
                   .arg(QString::fromStdString(ini_file_.file.filename().string()))
             : QStringLiteral("The scales are in use but could not be saved: %1")
                   .arg(QString::fromStdString(w.error)));
    if (isVisible()) refresh();
}

void HealthWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    show_scales();
    refresh();
    timer_.start();
}

void HealthWindow::hideEvent(QHideEvent* e) {
    timer_.stop();
    QWidget::hideEvent(e);
}

} // namespace zento
