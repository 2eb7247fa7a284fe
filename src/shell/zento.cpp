#include "shell/zento.h"

#include "instruments/attitude_indicator.h"
#include "link/command_sender.h"
#include "link/dialog2.h"
#include "link/envelope.h"
#include "platform/serial/serial_port.h"
#include "platform/widgets/widgets.h"
#include "settings/comm_set.h"
#include "settings/port_config.h"
#include "shell/fonts.h"
#include "telemetry/decoders.h"
#include "telemetry/strip_chart.h"
#include "telemetry/value_text.h"
#include "view3d/big3d.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegion>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QStylePainter>
#include <QTimer>

#include <cmath>
#include <iterator>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace zento {

namespace {

const char* const kScaleEntries[] = {"1", "1/2", "1/5", "1/10", "1/20", "1/50", "1/100"};

QLabel* label(QWidget* parent, const QString& text, int x, int y, int w, int h) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(x, y, w, h);
    return l;
}

// A group frame that keeps its drawn frame and title in a picture: drawing them anew lays out
// the title again each time, a blit of the picture does not. The picture is the same drawing,
// redone when anything it depends on changes.
class GroupFrame : public QGroupBox {
  public:
    using QGroupBox::QGroupBox;

    // The colour this frame shows inside its border when drawn over `beneath` (the style may
    // draw a translucent interior, so nested frames differ).
    QColor interiorColor(const QColor& beneath) {
        const QImage image = picture().toImage().convertToFormat(QImage::Format_ARGB32);
        const QColor c = image.pixelColor(image.width() / 2, image.height() * 3 / 4);
        const double a = c.alphaF();
        auto mix = [a](double over, double under) { return over * a + under * (1 - a); };
        return QColor::fromRgbF(float(mix(c.redF(), beneath.redF())),
                                float(mix(c.greenF(), beneath.greenF())),
                                float(mix(c.blueF(), beneath.blueF())));
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        const QPixmap& frame = picture();
        const qreal ratio = frame.devicePixelRatio();
        QPainter painter(this);
        for (const QRect& r : event->region())
            painter.drawPixmap(r, frame,
                               QRectF(QPointF(r.topLeft()) * ratio, QSizeF(r.size()) * ratio));
    }

  private:
    const QPixmap& picture() {
        QStyleOptionGroupBox option;
        initStyleOption(&option);
        const qreal ratio = devicePixelRatioF();
        const auto key = std::make_tuple(size(), ratio, option.text, int(option.state),
                                         palette().cacheKey(), font().key());
        if (picture_.isNull() || key != key_) {
            picture_ = QPixmap((QSizeF(size()) * ratio).toSize());
            picture_.setDevicePixelRatio(ratio);
            picture_.fill(Qt::transparent);
            QPainter painter(&picture_);
            style()->drawComplexControl(QStyle::CC_GroupBox, &option, &painter, this);
            key_ = key;
        }
        return picture_;
    }

    QPixmap picture_;
    std::tuple<QSize, qreal, QString, int, qint64, QString> key_;
};

// Gives `control` an opaque background of the colour its group frames show where it lies, so a
// change repaints the control alone, not the frames beneath it.
void paint_own_background(QWidget* control) {
    std::vector<GroupFrame*> frames;
    QWidget* w = control->parentWidget();
    for (; w && dynamic_cast<GroupFrame*>(w); w = w->parentWidget())
        frames.push_back(static_cast<GroupFrame*>(w));
    QColor color = (w ? w : control)->palette().color(QPalette::Window);
    for (auto it = frames.rbegin(); it != frames.rend(); ++it)
        color = (*it)->interiorColor(color);
    QPalette pal = control->palette();
    pal.setColor(QPalette::Window, color);
    control->setPalette(pal);
    control->setAutoFillBackground(true);
}

QGroupBox* group(QWidget* parent, const QString& title, int x, int y, int w, int h) {
    auto* g = new GroupFrame(title, parent);
    g->setGeometry(x, y, w, h);
    return g;
}

QPushButton* button(QWidget* parent, const QString& text, int x, int y, int w, int h) {
    auto* b = new QPushButton(text, parent);
    b->setGeometry(x, y, w, h);
    return b;
}

// A push button whose caption wraps onto two lines when the button is narrow.
class WrappingButton : public QPushButton {
  public:
    using QPushButton::QPushButton;

  protected:
    void paintEvent(QPaintEvent*) override {
        QStylePainter p(this);
        QStyleOptionButton opt;
        initStyleOption(&opt);
        const QString caption = opt.text;
        opt.text.clear();
        p.drawControl(QStyle::CE_PushButton, opt);
        p.drawText(rect().adjusted(2, 2, -2, -2), Qt::AlignCenter | Qt::TextWordWrap, caption);
    }
};

// A decoded value and its value text.
struct Value {
    float v = 0;
    std::size_t n = 1;
    char t[kValueTextMax] = {'0'};

    void set(float x) {
        v = x;
        n = value_text(x, t);
    }
    std::string_view text() const { return {t, n}; }
    QString qstring() const { return QString::fromLatin1(t, qsizetype(n)); }
};

// A label text assembled on the stack (texts here are a few dozen characters at most).
class Text {
  public:
    Text& operator<<(const char* latin1) {
        while (*latin1)
            put(char16_t(static_cast<unsigned char>(*latin1++)));
        return *this;
    }
    Text& operator<<(const Value& value) {
        for (std::size_t i = 0; i < value.n; ++i)
            put(char16_t(static_cast<unsigned char>(value.t[i])));
        return *this;
    }
    Text& operator<<(char16_t c) {
        put(c);
        return *this;
    }
    QStringView view() const { return QStringView(buf_, qsizetype(n_)); }

  private:
    void put(char16_t c) {
        if (n_ < std::size(buf_)) buf_[n_++] = c;
    }
    char16_t buf_[128];
    std::size_t n_ = 0;
};

// Sets the label's text unless it already shows it (no allocation, no relayout then).
void set_caption(QLabel* label, const Text& text) {
    const QString current = label->text();
    if (QStringView(current) != text.view()) label->setText(text.view().toString());
}

std::filesystem::path to_path(const QString& s) {
    return std::filesystem::path(QFile::encodeName(s).toStdString());
}

} // namespace

Zento::Zento(SerialPort& port, QString program_dir, QWidget* parent)
    : QMainWindow(parent), port_(port), program_dir_(std::move(program_dir)),
      ini_file_(to_path(program_dir_) / std::string(kIniFileName)) {
    exit_program = [] { QCoreApplication::exit(0); };
    install_widget_accessibility();
    build_controls();
    build_menu();
    build_timers();
    port_.OnComm = [this] { MSComm_OnComm(); };
    port_.OnFailure = [this](const std::string& reason) { MSComm_OnFailure(reason); };
    Form_Load();
}

Zento::~Zento() {
    port_.OnComm = nullptr;
    port_.OnFailure = nullptr;
}

// ---- construction ------------------------------------------------------------------------------

void Zento::build_controls() {
    setObjectName(QStringLiteral("Zento"));
    setWindowTitle(QStringLiteral("Tavro AHRS DEMO"));
    auto* client = new QWidget(this);
    client->setFixedSize(1016, 580);
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    iSwitchLedX1 = new SwitchLed(client);
    iSwitchLedX1->setObjectName(QStringLiteral("iSwitchLedX1"));
    iSwitchLedX1->setGeometry(8, 8, 137, 41);
    iSwitchLedX1->setCaption(QStringLiteral("Connect AHRS"));
    connect(iSwitchLedX1, &SwitchLed::clicked, this, [this] { iSwitchLedX1_Click(); });

    Frame1 = group(client, QStringLiteral("串口状态"), 152, 8, 85, 41);
    iLedRectangleX1 = new LedRectangle(Frame1);
    iLedRectangleX1->setGeometry(8, 12, 65, 13);
    iLedRectangleX1->setLabel(QStringLiteral("RXD"));
    iLedRectangleX2 = new LedRectangle(Frame1);
    iLedRectangleX2->setGeometry(8, 24, 65, 13);
    iLedRectangleX2->setLabel(QStringLiteral("TXD"));
    iLedRectangleX2->setActiveColor(QColor(255, 0, 0));
    iLedRectangleX2->setInactiveColor(QColor(128, 64, 64));
    for (LedRectangle* l : {iLedRectangleX1, iLedRectangleX2})
        l->setFont(font_lucida_console(7));

    Label24 = label(client, QStringLiteral("Estimate Speed"), 280, 1, 305, 17);
    Label24->setFont(font_xinsongti(10.5));
    QPalette red = Label24->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label24->setPalette(red);

    Command5 = button(client, QStringLiteral("3D Show"), 752, 16, 89, 33);
    connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });

    // ---- telemetry frame
    Fram_Zento = group(client, QStringLiteral("Tavro AHRS Display"), 0, 56, 1017, 437);
    QWidget* f = Fram_Zento;

    iThermometerX1 = new Thermometer(f);
    iThermometerX1->setGeometry(8, 24, 33, 305);
    iThermometerX1->setAccessibleName(QStringLiteral("Temperature"));
    iLabelX1 = new TextLabel(f);
    iLabelX1->setGeometry(8, 328, 26, 14);
    iLabelX1->setCaption(QStringLiteral("Temp"));
    iLedBarX1 = new LedBar(f);
    iLedBarX1->setGeometry(48, 24, 17, 297);
    iLedBarX1->setAccessibleName(QStringLiteral("Height"));
    Label3 = label(f, QStringLiteral("Height"), 40, 328, 49, 17);
    Label3->setFont(font_xinsongti(9));
    // Its last column lies under the IMU frame's left edge: masked off, so that a new altitude
    // repaints the label alone and not that frame (the column never shows text).
    Label3->setMask(QRegion(0, 0, 48, 17));

    iPlotX1 = new StripChart(f);
    iPlotX1->setGeometry(72, 16, 777, 313);
    iPlotX1->setAccessibleName(QStringLiteral("Strip chart"));
    Command6 = button(f, QStringLiteral("Follow the latest"), 739, 20, 105, 25);
    Command6->raise(); // drawn over the chart's top right corner
    {
        // Repainted with the chart at every redraw: painting its own background (the chart's
        // colour, so its rounded corners look as before) spares the telemetry frame beneath.
        QPalette pal = Command6->palette();
        pal.setColor(QPalette::Window, StripChart::kBackgroundColor);
        Command6->setPalette(pal);
        Command6->setAutoFillBackground(true);
    }
    connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });

    iCompassX1 = new Compass(f);
    iCompassX1->setGeometry(872, 16, 137, 137);
    iCompassX1->setAccessibleName(QStringLiteral("Heading"));
    Label6 = label(f, QStringLiteral("Pitch"), 856, 248, 97, 17);
    Label5 = label(f, QStringLiteral("Roll"), 856, 264, 105, 17);
    for (QLabel* l : {Label6, Label5})
        l->setFont(font_arial(10.5, true));
    Piczitai = new AttitudeIndicator(f);
    Piczitai->setGeometry(856, 280, AttitudeIndicator::kOuterWidth,
                          AttitudeIndicator::kOuterHeight);
    Piczitai->setAccessibleName(QStringLiteral("Attitude indicator"));

    Label4 = label(f, QStringLiteral("Maximum upload speed can not exceed 20Hz"), 8, 352, 81, 49);
    Label4->setWordWrap(true);
    Label4->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    {
        QFont small = font_arial(8, false); // three lines fit the designed 81 x 49 box
        small.setStretch(QFont::SemiCondensed);
        Label4->setFont(small);
    }
    Label26 = label(f, QStringLiteral("Upload:"), 8, 400, 73, 17);
    Label22 = label(f, QStringLiteral("FPS"), 8, 416, 73, 17);
    Label22->setAccessibleDescription(QStringLiteral("Update rate"));
    // Heartbeat lamp: on the "Upload:" row, right of its text, just above the update rate.
    iLedRectangleX3 = new LedRectangle(f);
    iLedRectangleX3->setGeometry(64, 400, 17, 17);
    iLedRectangleX3->setRaisedBevel(true);
    iLedRectangleX3->setAccessibleName(QStringLiteral("Heartbeat"));
    iLedRectangleX3->raise();

    // Group frames: three value labels, "scale", the scale chooser and the show/hide box.
    struct GroupLayout {
        const char* title;
        int x, w, label_w, combo_w, check_x;
        const char* names[3];
        const char* accessible;
    };
    const GroupLayout groups[4] = {
        {"IMU", 88, 129, 113, 65, 104, {"Yaw", "Pitch", "Roll"}, "IMU"},
        {"Acceleration", 232, 137, 121, 73, 112, {"X", "Y", "Z"}, "Acceleration"},
        {"Gyroscope", 384, 137, 121, 73, 112, {"X", "Y", "Z"}, "Gyroscope"},
        {"Magnetometer", 536, 137, 121, 73, 112, {"X", "Y", "Z"}, "Magnetometer"},
    };
    QGroupBox** frames[4] = {&Frame_IMU, &Frame_Acceleration, &Frame_Gyroscope,
                             &Frame_Magnetometer};
    QLabel** labels[4][3] = {{&Label19, &Label20, &Label21},
                             {&Label7, &Label8, &Label9},
                             {&Label10, &Label11, &Label12},
                             {&Label13, &Label14, &Label15}};
    QComboBox** combos[4] = {&Combo1, &Combo2, &Combo3, &Combo4};
    QCheckBox** checks[4] = {&Check1, &Check2, &Check3, &Check4};
    for (int g = 0; g < 4; ++g) {
        const GroupLayout& s = groups[g];
        QGroupBox* box = group(f, QString::fromLatin1(s.title), s.x, 328, s.w, 105);
        *frames[g] = box;
        for (int i = 0; i < 3; ++i) {
            QLabel* l = label(box, QString::fromLatin1(s.names[i]), 8, 16 + 16 * i, s.label_w, 17);
            l->setFont(font_arial(10.5, true));
            *labels[g][i] = l;
        }
        Label_scale[std::size_t(g)] = label(box, QStringLiteral("scale"), 8, 72, 49, 25);
        auto* combo = new QComboBox(box);
        combo->setGeometry(56, 72, s.combo_w, 22);
        for (const char* e : kScaleEntries)
            combo->addItem(QString::fromLatin1(e));
        // Some platforms name a chooser by its entry: the description says what it scales.
        combo->setAccessibleName(QString::fromLatin1(s.accessible) + QStringLiteral(" scale"));
        combo->setAccessibleDescription(combo->accessibleName());
        Label_scale[std::size_t(g)]->setBuddy(combo);
        *combos[g] = combo;
        auto* check = new QCheckBox(box);
        check->setGeometry(s.check_x, 8, 17, 17);
        check->setChecked(true);
        check->setAccessibleName(QStringLiteral("Show ") + QString::fromLatin1(s.accessible) +
                                 QStringLiteral(" traces"));
        *checks[g] = check;
    }
    connect(Check1, &QCheckBox::clicked, this, [this] { Check1_Click(); });
    connect(Check2, &QCheckBox::clicked, this, [this] { Check2_Click(); });
    connect(Check3, &QCheckBox::clicked, this, [this] { Check3_Click(); });
    connect(Check4, &QCheckBox::clicked, this, [this] { Check4_Click(); });

    // "Marked bias" in "Gyroscope": the free column right of the value labels, below the box.
    Command1 = new WrappingButton(QStringLiteral("Marked bias"), Frame_Gyroscope);
    Command1->setGeometry(84, 28, 49, 37);
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });

    Frame_Other = group(f, QStringLiteral("Other"), 688, 328, 145, 105);
    Frame_Other->setFont(font_heiti(10.5));
    Label16 = label(Frame_Other, QStringLiteral("Height"), 8, 48, 113, 17);
    Label17 = label(Frame_Other, QStringLiteral("Temp"), 8, 64, 113, 17);
    Label18 = label(Frame_Other, QStringLiteral("Pressure"), 8, 80, 113, 17);
    // "Height Zero" in "Other": the free rows above the three labels.
    Command4 = button(Frame_Other, QStringLiteral("Height Zero"), 8, 16, 105, 25);
    connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });

    // ---- message panel
    iPanelX1 = new Panel(client);
    iPanelX1->setGeometry(0, 488, 1017, 93);
    iPanelX1->setTitleText(QStringLiteral("信息显示"));
    Text_msg = new QPlainTextEdit(iPanelX1);
    Text_msg->setObjectName(QStringLiteral("Text_msg"));
    Text_msg->setGeometry(32, 24, 977, 69);
    Text_msg->setReadOnly(true);
    Text_msg->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    Text_msg->setFont(font_lucida_console(9));
    Text_msg->setMaximumBlockCount(kLogMaxLines);
    Text_msg->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    Text_msg->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Text_msg->setAccessibleName(QStringLiteral("Messages"));
    Msg_Led = new LedDiamond(iPanelX1);
    Msg_Led->setGeometry(8, 48, 21, 21);
    Msg_Led->setAccessibleName(QStringLiteral("New message"));
    Command3 = button(iPanelX1, QStringLiteral("Clear"), 936, 32, 57, 25);
    Command3->raise(); // over the right end of the log text
    connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });

    // The controls that the stream changes paint their own background: a change then repaints
    // the control alone, not the frames beneath it, which on a live stream was most of the
    // window's painting. Where one of them overlaps another control (a value label under a
    // group's check box or "Marked bias"), that control stays above it.
    for (QWidget* c : std::initializer_list<QWidget*>{
             Label3,   Label5,    Label6,     Label7,          Label8,  Label9,  Label10,
             Label11,  Label12,   Label13,    Label14,         Label15, Label16, Label17,
             Label18,  Label19,   Label20,    Label21,         Label22, Label24, iThermometerX1,
             iLabelX1, iLedBarX1, iCompassX1, iLedRectangleX3, Piczitai})
        paint_own_background(c);
    // The chart's bottom row lies on the group frames' top row. Above them, a chart redraw
    // repaints the chart alone; beneath them, every redraw repainted all five frames.
    iPlotX1->raise();
    Command6->raise();
}

void Zento::build_menu() {
    File = menuBar()->addMenu(QStringLiteral("Setting"));
    File->setObjectName(QStringLiteral("File"));
    com_set = File->addAction(QStringLiteral("ComPort"));
    com_set->setObjectName(QStringLiteral("com_set"));
    Exit = File->addAction(QStringLiteral("Eixt"));
    Exit->setObjectName(QStringLiteral("Exit"));
    Exit_E = menuBar()->addMenu(QStringLiteral("Eixt"));
    Exit_E->setObjectName(QStringLiteral("Exit_E"));
    ExitC = Exit_E->addAction(QStringLiteral("Eixt"));
    ExitC->setObjectName(QStringLiteral("ExitC"));
    connect(com_set, &QAction::triggered, this, [this] { com_set_Click(); });
    connect(Exit, &QAction::triggered, this, [this] { Exit_Click(); });
    connect(ExitC, &QAction::triggered, this, [this] { ExitC_Click(); });
}

void Zento::build_timers() {
    auto make = [this](const char* name, int interval, void (Zento::*tick)()) {
        auto* t = new QTimer(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setInterval(interval);
        connect(t, &QTimer::timeout, this, tick);
        return t;
    };
    Timer1 = make("Timer1", 1000, &Zento::Timer1_Timer);
    Timer2 = make("Timer2", 100, &Zento::Timer2_Timer);
    Timer3 = make("Timer3", 0, &Zento::Timer3_Timer);
    Timer4 = make("Timer4", 200, &Zento::Timer4_Timer);
    LED_Time = make("LED_Time", 0, &Zento::LED_Time_Timer);
    Timer4->setSingleShot(true);
    Timer1->start();
    Timer4->start(); // the first port check, 200 ms after start-up
}

void Zento::Form_Load() {
    // 1. Serial control: event-driven binary reception; the port stays closed.
    port_.setInputLen(0);
    port_.setInputMode(kInputModeBinary);
    port_.setInBufferCount(0);
    port_.setOutBufferCount(0);
    port_.setRThreshold(1);
    // 2. Scale choosers.
    Combo1->setCurrentIndex(0);
    Combo2->setCurrentIndex(6);
    Combo3->setCurrentIndex(6);
    Combo4->setCurrentIndex(2);
    // 3. Divisor table.
    scale_div = {1, 2, 5, 10, 20, 50, 100};
    // 4. Empty log.
    Text_msg->clear();
    msg_lines_.clear();
    msg_count = 0;
    // 5. Port number and settings from the settings file.
    const PortConfig config = read_port_config(ini_file_);
    port_.setCommPort(config.port);
    port_.setSettings(config.settings);
    // 6. Greeting; a settings file that could not be used is reported right after it.
    Show_msg("Tavro AHRS DEMO starts successfully!");
    Show_msg("--------    Start    --------");
    Show_msg("--1. Check the serial port settings are correct --");
    Show_msg("--2. Click to open port button to receive data");
    Show_msg("------------------------------");
    if (!config.problem.empty()) Show_msg(config.problem);
    // 7. Attitude indicator at rest.
    Piczitai->Draw_attitude(QStringLiteral("0"), QStringLiteral("0"));
}

// ---- message log ------------------------------------------------------------------------------

void Zento::Show_msg(std::string_view text) {
    Show_msg(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

void Zento::Show_msg(const QString& text) {
    msg_count = std::int16_t(msg_count + 1);
    QString line;
    if (msg_lines_.empty()) {
        line = QString::number(msg_count) + QStringLiteral(":  ") + text;
        Text_msg->setPlainText(line);
    } else {
        line = QStringLiteral(">  ") + text;
        Text_msg->appendPlainText(line);
    }
    msg_lines_.push_back(line);
    while (msg_lines_.size() > std::size_t(kLogMaxLines))
        msg_lines_.pop_front();
    Text_msg->moveCursor(QTextCursor::End);
    Text_msg->ensureCursorVisible();
    Msg_Led->setActive(true);
    LED_Time->start(400); // (re)starts the countdown
}

QString Zento::msg_text() const {
    QString out;
    for (std::size_t i = 0; i < msg_lines_.size(); ++i) {
        if (i > 0) out += QStringLiteral("\r\n");
        out += msg_lines_[i];
    }
    return out;
}

void Zento::LED_Time_Timer() {
    LED_Time->stop();
    Msg_Led->setActive(false);
}

void Zento::Command3_Click() {
    msg_lines_.assign(1, QStringLiteral("Clear...."));
    Text_msg->setPlainText(msg_lines_.front());
}

// ---- update rate ------------------------------------------------------------------------------

void Zento::Timer1_Timer() {
    Label22->setText(QString::number(frame_count) + QStringLiteral(" FPS"));
    frame_count = 0;
}

// ---- port connection --------------------------------------------------------------------------

void Zento::iSwitchLedX1_Click() {
    if (!port_.PortOpen()) {
        const bool opened = port_.setPortOpen(true);
        Show_msg("Try to open Com Port ...");
        if (!opened) Show_msg(port_.lastError());
    } else {
        Show_msg("Disconnect ...");
        port_.setPortOpen(false);
    }
    Timer4->start(200);
    receiver.Receiver_reset();
}

void Zento::Timer4_Timer() {
    if (port_.PortOpen()) {
        iSwitchLedX1->setCaption(QStringLiteral("Connected"));
        Show_msg(QStringLiteral("COM%1--%2")
                     .arg(port_.CommPort())
                     .arg(QString::fromStdString(port_.Settings())));
        Show_msg("Open Com Port Success ...");
        iSwitchLedX1->setActive(true);
    } else {
        iSwitchLedX1->setCaption(QStringLiteral("Port Close"));
        Show_msg("Com Port Closed ...");
        iSwitchLedX1->setActive(false);
    }
    Timer4->stop();
}

void Zento::MSComm_OnFailure(const std::string& reason) {
    Show_msg(reason);
    Timer4_Timer(); // the port is already closed: report it now
}

void Zento::com_set_Click() {
    Show_msg(port_.Settings());
    if (!comm_set_) {
        comm_set_ = new CommSet(port_, ini_file_, this);
        comm_set_->show_msg = [this](const QString& t) { Show_msg(t); };
        comm_set_->close_port = [this] {
            port_.setPortOpen(false);
            Timer4->start(200);
        };
    }
    comm_set_->Show_window();
    if (port_.PortOpen()) port_.setPortOpen(false);
    Timer4->start();
}

void Zento::Exit_program() {
    port_.setPortOpen(false);
    if (exit_program) exit_program();
}

void Zento::Exit_Click() {
    Exit_program();
}
void Zento::ExitC_Click() {
    Exit_program();
}

void Zento::closeEvent(QCloseEvent* event) {
    // Closing the main window ends the program like the exit items.
    event->accept();
    Exit_program();
}

// ---- receiver ---------------------------------------------------------------------------------

void Zento::MSComm_OnComm() {
    receiver.OnComm(port_);
    // The chart's new points go into the same paint pass as the labels they came with.
    iPlotX1->flush();
}

double Zento::chart_divisor(const QComboBox* chooser) const {
    const int i = chooser->currentIndex();
    if (i < 0 || i >= int(scale_div.size())) return 1.0;
    return double(scale_div[std::size_t(i)]);
}

// Both decoders run for every frame of a 115200-baud stream (up to ~260 pairs a second), so
// the texts are built on the stack and a label is written only when its text changes.
void Zento::Rec_attitude(std::span<const std::uint8_t> rx_frame) {
    // A frame too short for the layout is dropped whole: decoding it as far as it goes would
    // take its checksum (or bytes beyond it) for a field and show fresh values next to stale
    // ones. It is not counted either: it is not an attitude report.
    if (rx_frame.size() < kAttitudeFrameMin) return;

    Value yaw, pitch, roll, altitude, temperature, pressure, rate;
    const auto word = [&](std::size_t i) { return sign_magnitude(rx_frame[i], rx_frame[i + 1]); };
    // Skip-and-continue: a step that throws is abandoned and the next one runs, so one broken
    // output never stops the others or the frame count.
    const auto step = [this](int n, auto&& body) {
        try {
            if (attitude_step_hook) attitude_step_hook(n);
            body();
        } catch (...) {
        }
    };

    step(1, [&] {
        yaw.set(word(2) / 10.0f);
        pitch.set(word(4) / 10.0f);
        roll.set(word(6) / 10.0f);
    });
    step(2, [&] {
        altitude.set(word(8) / 10.0f);
        iLedBarX1->setPosition(altitude.v);
        set_caption(Label3, Text() << altitude << "m");
        set_caption(Label16, Text() << "Height:" << altitude << "m");
    });
    step(3, [&] {
        temperature.set(word(10) / 10.0f);
        iThermometerX1->setPosition(temperature.v);
        set_caption(Label17, Text() << "Temp:" << temperature << u'\u2103');
        const Text caption = Text() << temperature << "C";
        if (QStringView(iLabelX1->Caption()) != caption.view())
            iLabelX1->setCaption(caption.view().toString());
    });
    step(4, [&] {
        pressure.set(word(12) * 10.0f); // the word counts 10 Pa; the product is single precision
        set_caption(Label18, Text() << "Press:" << pressure << "Pa");
    });
    step(5, [&] {
        rate.set(word(14));
        set_caption(Label24, Text() << "Attitude solution:" << rate << " Times per second");
    });
    step(6, [&] { iLedRectangleX3->setActive(!iLedRectangleX3->Active()); });
    step(7, [&] { Piczitai->Draw_attitude(roll.qstring(), pitch.qstring()); });
    step(8, [&] {
        set_caption(Label5, Text() << "Roll:" << roll);
        set_caption(Label6, Text() << "Pitch:" << pitch);
    });
    step(9, [&] { iCompassX1->setDirection(yaw.v); });
    step(10, [&] {
        // The chooser is read for each point: a change takes effect from the next point on.
        iPlotX1->addPoint(1, double(roll.v) / chart_divisor(Combo1));
        iPlotX1->addPoint(2, double(pitch.v) / chart_divisor(Combo1));
        iPlotX1->addPoint(0, double(yaw.v) / chart_divisor(Combo1));
    });
    step(11, [&] {
        set_caption(Label19, Text() << "Yaw:" << yaw);
        set_caption(Label20, Text() << "Pitch:" << pitch);
        set_caption(Label21, Text() << "Roll:" << roll);
    });
    step(12, [&] {
        latest_values.Pitch = pitch.v;
        latest_values.Roll = 0.0f - roll.v;             // -roll, without a "-0" for a level board
        latest_values.Yaw = float(std::int32_t(yaw.v)); // toward zero
        latest_values.str_pitch.assign(pitch.text());
        latest_values.str_roll.assign(roll.text());
        latest_values.str_yaw.assign(yaw.text());
    });
    step(13, [&] { frame_count = std::int16_t(frame_count + 1); });
}

void Zento::Rec_sensor(std::span<const std::uint8_t> rx_frame) {
    // Dropped whole when too short, for the same reason as an attitude frame.
    if (rx_frame.size() < kSensorFrameMin) return;

    struct Reading {
        const char* prefix;
        QLabel* Zento::*label;
        std::string LatestValues::*field;
        QComboBox* Zento::*chooser;
    };
    static constexpr Reading kReadings[9] = {
        {" AX:", &Zento::Label7, &LatestValues::str_Xjiasudu, &Zento::Combo2},
        {" AY:", &Zento::Label8, &LatestValues::str_Yjiasudu, &Zento::Combo2},
        {" AZ:", &Zento::Label9, &LatestValues::str_Zjiasudu, &Zento::Combo2},
        {" GX:", &Zento::Label10, &LatestValues::str_Xjiaosulv, &Zento::Combo3},
        {" GY:", &Zento::Label11, &LatestValues::str_Yjiaosulv, &Zento::Combo3},
        {" GZ:", &Zento::Label12, &LatestValues::str_Zjiaosulv, &Zento::Combo3},
        {" HX:", &Zento::Label13, &LatestValues::str_Xcichang, &Zento::Combo4},
        {" HY:", &Zento::Label14, &LatestValues::str_Ycichang, &Zento::Combo4},
        {" HZ:", &Zento::Label15, &LatestValues::str_Zcichang, &Zento::Combo4},
    };
    // Each output is skipped alone if it fails, as in Rec_attitude: the values that reach the
    // other outputs never depend on it.
    const auto part = [this](int reading, int n, auto&& body) {
        try {
            if (sensor_step_hook) sensor_step_hook(reading, n);
            body();
        } catch (...) {
        }
    };
    for (int i = 0; i < 9; ++i) {
        const Reading& r = kReadings[i];
        const std::size_t at = 2 + 2 * std::size_t(i);
        Value v;
        v.set(sign_magnitude(rx_frame[at], rx_frame[at + 1]));
        part(i, 2, [&] { set_caption(this->*r.label, Text() << r.prefix << v); });
        part(i, 3, [&] { (latest_values.*r.field).assign(v.text()); });
        part(i, 4,
             [&] { iPlotX1->addPoint(3 + i, double(v.v) / chart_divisor(this->*r.chooser)); });
    }
}

// ---- link lamps -------------------------------------------------------------------------------

void Zento::Rec_LedON() {
    if (Timer2->isActive()) {
        Timer2->start(300);
    } else {
        Timer2->start(300);
        iLedRectangleX1->setActive(true);
    }
}

void Zento::Timer2_Timer() {
    Timer2->stop();
    iLedRectangleX1->setActive(false);
}

void Zento::Send_LedON() {
    iLedRectangleX2->setActive(true);
    Timer3->start(200);
}

void Zento::Timer3_Timer() {
    iLedRectangleX2->setActive(false);
    Timer3->stop();
}

// ---- commands ---------------------------------------------------------------------------------

// Sends one command frame: the TXD lamp for a frame written, a log line for a failed write,
// nothing at all while the port is closed.
void Zento::Send_command(std::uint8_t type) {
    std::string error;
    switch (send_command(port_, type, &error)) {
    case SendOutcome::Sent:
        Send_LedON();
        break;
    case SendOutcome::Failed:
        Show_msg(error);
        break;
    case SendOutcome::PortClosed:
        break;
    }
}

void Zento::Send_gyro() {
    Send_command(kTypeGyroBias);
}

void Zento::Send_high() {
    Send_command(kTypeHeightZero);
}

void Zento::Command1_Click() {
    if (!dialog2_) {
        dialog2_ = new Dialog2(this);
        dialog2_->on_start = [this] { Send_gyro(); };
    }
    dialog2_->show();
    dialog2_->raise();
    dialog2_->activateWindow();
}

void Zento::Command4_Click() {
    Send_high();
}

// ---- telemetry frame controls -----------------------------------------------------------------

void Zento::Command5_Click() {
    if (!big3D) {
        big3D = new Big3D(latest_values, program_dir_, this);
        big3D->setObjectName(QStringLiteral("big3D"));
        big3D->app_title = windowTitle();
        // Closing the 3D window ends the program like "Eixt"; a model it cannot load is
        // reported here too, and only that window closes.
        big3D->end_program = [this] { Exit_program(); };
        big3D->show_msg = [this](const QString& line) { Show_msg(line); };
    }
    big3D->Show3D();
}

void Zento::Command6_Click() {
    iPlotX1->setTracking(true);
}

void Zento::Check_Click(QCheckBox* box, int group) {
    iPlotX1->setGroupVisible(group, box->isChecked());
}

void Zento::Check1_Click() {
    Check_Click(Check1, 0);
}
void Zento::Check2_Click() {
    Check_Click(Check2, 1);
}
void Zento::Check3_Click() {
    Check_Click(Check3, 2);
}
void Zento::Check4_Click() {
    Check_Click(Check4, 3);
}

} // namespace zento
