#include "settings/comm_set.h"

#include "platform/serial/serial_port.h"
#include "platform/widgets/widgets.h"
#include "settings/ini_file.h"
#include "settings/port_config.h"

#include <QAbstractItemView>
#include <QFontMetrics>

namespace zento {

namespace {

const char* const kBauds[] = {"600",   "1200",  "2400",  "4800",  "9600",  "14400",
                              "19200", "38400", "56000", "57600", "115200"};
const char* const kDataBits[] = {"5 bits", "6 bits", "7 bits", "8 bits"};
const char* const kStopBits[] = {"1 bit", "1.5 bits", "2 bits"};

constexpr int kBaud115200 = 10;
constexpr int kData8 = 3;
constexpr int kStop1 = 0;

QComboBox* make_list(QWidget* parent, int y, const QString& accessible_name) {
    auto* c = new QComboBox(parent);
    c->setGeometry(112, y, 105, 20);
    c->setAccessibleName(accessible_name);
    c->setAccessibleDescription(accessible_name); // where the name is the selected entry
    return c;
}

QLabel* make_label(QWidget* parent, int y, const QString& text, QComboBox* buddy) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(40, y, 72, 20);
    l->setBuddy(buddy);
    return l;
}

QPushButton* make_button(QWidget* parent, int x, int y, const QString& text) {
    auto* b = new QPushButton(text, parent);
    b->setGeometry(x, y, 81, 33);
    return b;
}

} // namespace

CommSet::CommSet(SerialPort& port, std::filesystem::path ini_file, QWidget* parent)
    : QWidget(parent, Qt::Window), port_(port), ini_file_(std::move(ini_file)) {
    setObjectName(QStringLiteral("CommSet"));
    setWindowTitle(QStringLiteral("Zento ComPort"));
    setFixedSize(305, 278);

    iPanelX1 = new Panel(this);
    iPanelX1->setObjectName(QStringLiteral("iPanelX1"));
    iPanelX1->setTitleText(QStringLiteral("Port Setting"));
    iPanelX1->setGeometry(0, 0, 321, 273);

    Combo1 = make_list(iPanelX1, 48, QStringLiteral("COM PORT"));
    Combo2 = make_list(iPanelX1, 80, QStringLiteral("Baud rate"));
    Combo3 = make_list(iPanelX1, 112, QStringLiteral("Data bits"));
    Combo4 = make_list(iPanelX1, 144, QStringLiteral("Stop bit"));
    for (int i = 1; i <= kPorts; ++i)
        Combo1->addItem(QStringLiteral("Com %1").arg(i));
    for (const char* b : kBauds)
        Combo2->addItem(QString::fromLatin1(b));
    for (const char* d : kDataBits)
        Combo3->addItem(QString::fromLatin1(d));
    for (const char* s : kStopBits)
        Combo4->addItem(QString::fromLatin1(s));

    Label_port = make_label(iPanelX1, 48, QStringLiteral("COM PORT"), Combo1);
    Label_baud = make_label(iPanelX1, 80, QStringLiteral("Baud rate"), Combo2);
    Label_data = make_label(iPanelX1, 112, QStringLiteral("Data bits"), Combo3);
    Label_stop = make_label(iPanelX1, 144, QStringLiteral("Stop bit"), Combo4);

    Label_hint = new QLabel(QStringLiteral("Please select the the Tavro AHRS corresponding port "
                                           "number.Otherwise it will not be able to receive data"),
                            iPanelX1);
    Label_hint->setGeometry(8, 232, 265, 49);
    Label_hint->setWordWrap(true);
    Label_hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Comm_set_C = make_button(iPanelX1, 104, 192, QStringLiteral("Canceled"));
    Com_set_O = make_button(iPanelX1, 192, 192, QStringLiteral("OK"));
    Command1 = make_button(this, 16, 192, QStringLiteral("Default")); // on the window itself
    Command1->raise();

    Com_set_O->setObjectName(QStringLiteral("Com_set_O"));
    Comm_set_C->setObjectName(QStringLiteral("Comm_set_C"));
    Command1->setObjectName(QStringLiteral("Command1"));
    connect(Com_set_O, &QPushButton::clicked, this, [this] { Com_set_O_Click(); });
    connect(Comm_set_C, &QPushButton::clicked, this, [this] { Comm_set_C_Click(); });
    connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });

    setTabOrder(Combo1, Combo2);
    setTabOrder(Combo2, Combo3);
    setTabOrder(Combo3, Combo4);
    setTabOrder(Combo4, Command1);
    setTabOrder(Command1, Comm_set_C);
    setTabOrder(Comm_set_C, Com_set_O);
}

QString CommSet::current_setting_caption() const {
    return QStringLiteral("Current Setting [ Com%1 %2 ]")
        .arg(port_.CommPort())
        .arg(QString::fromStdString(port_.Settings()));
}

void CommSet::Refresh_ports() {
    for (int i = 0; i < kPorts; ++i) {
        const std::string dev = port_.deviceFor(std::int16_t(i + 1));
        QString text = QStringLiteral("Com %1").arg(i + 1);
        if (!dev.empty()) text += QStringLiteral("  (%1)").arg(QString::fromStdString(dev));
        Combo1->setItemText(i, text);
    }
    // The closed list keeps its designed width; the open list shows the device names in full.
    int widest = 0;
    const QFontMetrics fm(Combo1->font());
    for (int i = 0; i < Combo1->count(); ++i)
        widest = std::max(widest, fm.horizontalAdvance(Combo1->itemText(i)));
    Combo1->view()->setMinimumWidth(widest + 32);
}

void CommSet::Form_Load() {
    loaded_ = true;
    setWindowTitle(current_setting_caption());
    Combo1->setCurrentIndex(port_.CommPort() - 1); // a port beyond the list selects nothing
    Combo2->setCurrentIndex(kBaud115200);
    Combo3->setCurrentIndex(kData8);
    Combo4->setCurrentIndex(kStop1);
}

void CommSet::Show_window() {
    if (!loaded_) Form_Load();
    Refresh_ports();
    show();
    raise();
    activateWindow();
}

void CommSet::Com_set_O_Click() {
    // The settings of an open port never change: close it first (its state is reported).
    if (port_.PortOpen()) {
        if (close_port)
            close_port();
        else
            port_.setPortOpen(false);
    }
    // No selection (a stored port beyond the list) keeps the current port number.
    if (Combo1->currentIndex() >= 0) port_.setCommPort(std::int16_t(Combo1->currentIndex() + 1));
    const IniWriteResult port_written =
        Write_ini(kIniSection, kIniKeyPort, std::to_string(port_.CommPort()), ini_file_);

    std::string text;
    if (Combo2->currentIndex() >= 0) text += Combo2->currentText().toStdString();
    text += ",n,";
    if (const int d = Combo3->currentIndex(); d >= 0 && d <= 3) text += std::to_string(5 + d) + ",";
    switch (Combo4->currentIndex()) {
    case 0:
        text += "1";
        break;
    case 1:
        text += "1.5";
        break;
    case 2:
        text += "2";
        break;
    default:
        break;
    }
    port_.setSettings(text); // the lists only offer usable values; anything else is refused
    const IniWriteResult settings_written =
        Write_ini(kIniSection, kIniKeySettings, port_.Settings(), ini_file_);

    setWindowTitle(current_setting_caption());
    if (show_msg) {
        show_msg(windowTitle());
        const IniWriteResult& failed = !port_written.ok ? port_written : settings_written;
        if (!failed.ok)
            show_msg(QStringLiteral("Zento.ini was not saved: %1")
                         .arg(QString::fromStdString(failed.error)));
    }
    hide();
}

void CommSet::Comm_set_C_Click() {
    hide();
}

void CommSet::Command1_Click() {
    Combo1->setCurrentIndex(0);
    Combo2->setCurrentIndex(kBaud115200);
    Combo3->setCurrentIndex(kData8);
    Combo4->setCurrentIndex(kStop1);
}

} // namespace zento
