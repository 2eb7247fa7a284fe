#include "dialogs/comm_set.h"

#include "platform/serial/serial_port.h"
#include "instruments/panel.h"
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

CommSet::CommSet(SerialPort& port, SettingsFile ini_file, QWidget* parent)
    : QWidget(parent, Qt::Window), port_(port), ini_file_(std::move(ini_file)) {
    setObjectName(QStringLiteral("CommSet"));
    setWindowTitle(QStringLiteral("Zento ComPort"));
    setFixedSize(305, 278);

    panel = new Panel(this);
    panel->setObjectName(QStringLiteral("iPanelX1"));
    panel->setTitleText(QStringLiteral("Port Setting"));
    panel->setGeometry(0, 0, 321, 273);

    portList = make_list(panel, 48, QStringLiteral("COM PORT"));
    baudList = make_list(panel, 80, QStringLiteral("Baud rate"));
    dataBitsList = make_list(panel, 112, QStringLiteral("Data bits"));
    stopBitsList = make_list(panel, 144, QStringLiteral("Stop bit"));
    for (int i = 1; i <= kPorts; ++i)
        portList->addItem(QStringLiteral("Com %1").arg(i));
    for (const char* b : kBauds)
        baudList->addItem(QString::fromLatin1(b));
    for (const char* d : kDataBits)
        dataBitsList->addItem(QString::fromLatin1(d));
    for (const char* s : kStopBits)
        stopBitsList->addItem(QString::fromLatin1(s));

    portCaption = make_label(panel, 48, QStringLiteral("COM PORT"), portList);
    baudCaption = make_label(panel, 80, QStringLiteral("Baud rate"), baudList);
    dataBitsCaption = make_label(panel, 112, QStringLiteral("Data bits"), dataBitsList);
    stopBitsCaption = make_label(panel, 144, QStringLiteral("Stop bit"), stopBitsList);

    hint = new QLabel(QStringLiteral("Please select the the Tavro AHRS corresponding port "
                                     "number.Otherwise it will not be able to receive data"),
                      panel);
    hint->setGeometry(8, 232, 265, 49);
    hint->setWordWrap(true);
    hint->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    cancelButton = make_button(panel, 104, 192, QStringLiteral("Canceled"));
    okButton = make_button(panel, 192, 192, QStringLiteral("OK"));
    defaultButton = make_button(this, 16, 192, QStringLiteral("Default")); // on the window itself
    defaultButton->raise();

    const std::pair<QWidget*, const char*> ids[] = {{portList, "Combo1"},
                                                    {baudList, "Combo2"},
                                                    {dataBitsList, "Combo3"},
                                                    {stopBitsList, "Combo4"},
                                                    {portCaption, "Label_port"},
                                                    {baudCaption, "Label_baud"},
                                                    {dataBitsCaption, "Label_data"},
                                                    {stopBitsCaption, "Label_stop"},
                                                    {hint, "Label_hint"},
                                                    {okButton, "Com_set_O"},
                                                    {cancelButton, "Comm_set_C"},
                                                    {defaultButton, "Command1"}};
    for (const auto& [control, id] : ids)
        control->setObjectName(QString::fromLatin1(id));
    connect(okButton, &QPushButton::clicked, this, [this] { Com_set_O_Click(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { Comm_set_C_Click(); });
    connect(defaultButton, &QPushButton::clicked, this, [this] { Command1_Click(); });

    setTabOrder(portList, baudList);
    setTabOrder(baudList, dataBitsList);
    setTabOrder(dataBitsList, stopBitsList);
    setTabOrder(stopBitsList, defaultButton);
    setTabOrder(defaultButton, cancelButton);
    setTabOrder(cancelButton, okButton);
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
        portList->setItemText(i, text);
    }
    // The closed list keeps its designed width; the open list shows the device names in full.
    int widest = 0;
    const QFontMetrics fm(portList->font());
    for (int i = 0; i < portList->count(); ++i)
        widest = std::max(widest, fm.horizontalAdvance(portList->itemText(i)));
    portList->view()->setMinimumWidth(widest + 32);
}

void CommSet::Form_Load() {
    loaded_ = true;
    setWindowTitle(current_setting_caption());
    portList->setCurrentIndex(port_.CommPort() - 1); // a port beyond the list selects nothing
    baudList->setCurrentIndex(kBaud115200);
    dataBitsList->setCurrentIndex(kData8);
    stopBitsList->setCurrentIndex(kStop1);
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
    if (portList->currentIndex() >= 0)
        port_.setCommPort(std::int16_t(portList->currentIndex() + 1));
    const IniWriteResult port_written =
        save_setting(ini_file_, kIniSection, kIniKeyPort, std::to_string(port_.CommPort()));

    std::string text;
    if (baudList->currentIndex() >= 0) text += baudList->currentText().toStdString();
    text += ",n,";
    if (const int d = dataBitsList->currentIndex(); d >= 0 && d <= 3)
        text += std::to_string(5 + d) + ",";
    switch (stopBitsList->currentIndex()) {
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
        save_setting(ini_file_, kIniSection, kIniKeySettings, port_.Settings());

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
    portList->setCurrentIndex(0);
    baudList->setCurrentIndex(kBaud115200);
    dataBitsList->setCurrentIndex(kData8);
    stopBitsList->setCurrentIndex(kStop1);
}

} // namespace zento
