#include "dialogs/stream_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

namespace zento {

namespace {

QString text_of(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

StreamDialog::StreamDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("streamDialog"));
    setWindowTitle(QStringLiteral("Stream values"));
    auto* layout = new QVBoxLayout(this);
    sendCheck = new QCheckBox(QStringLiteral("Send each decoded frame as JSON over UDP"), this);
    layout->addWidget(sendCheck);
    auto* form = new QFormLayout;
    hostEdit = new QLineEdit(this);
    hostEdit->setObjectName(QStringLiteral("host"));
    portSpin = new QSpinBox(this);
    portSpin->setObjectName(QStringLiteral("port"));
    portSpin->setRange(1, 65535);
    portSpin->setMaximumWidth(portSpin->sizeHint().width() + 20);
    form->addRow(QStringLiteral("Host:"), hostEdit);
    form->addRow(QStringLiteral("Port:"), portSpin);
    layout->addLayout(form);
    // Lines broken by hand: a wrapped label would leave the window's height to a guess.
    auto* note = new QLabel(
        QStringLiteral("One datagram per frame, the values as the labels show them, \"t\" in "
                       "seconds since 1970:\n"
                       "{\"t\": ..., \"attitude\": {\"yaw\": .., \"pitch\": .., \"roll\": .., "
                       "\"altitude\": ..,\n"
                       "        \"temperature\": .., \"pressure\": .., \"rate\": ..}}\n"
                       "{\"t\": ..., \"sensor\": {\"accel\": [x, y, z], \"gyro\": [..], "
                       "\"mag\": [..]}}\n\n"
                       "PlotJuggler: Streaming > UDP Server, protocol JSON, port 9870."),
        this);
    note->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(note);
    problemLabel = new QLabel(this);
    problemLabel->setObjectName(QStringLiteral("problem"));
    problemLabel->setStyleSheet(QStringLiteral("color: #9b1c1c;"));
    problemLabel->setWordWrap(true);
    problemLabel->hide();
    layout->addWidget(problemLabel);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &StreamDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &StreamDialog::reject);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void StreamDialog::show_settings(bool send, const StreamTarget& target) {
    sendCheck->setChecked(send);
    hostEdit->setText(text_of(target.host));
    portSpin->setValue(target.port);
    problemLabel->hide();
}

std::optional<StreamTarget> StreamDialog::target() const {
    QString host = hostEdit->text().trimmed();
    if (host.contains(QLatin1Char(':')) && !host.startsWith(QLatin1Char('[')))
        host = QLatin1Char('[') + host + QLatin1Char(']'); // an IPv6 address typed bare
    auto parsed =
        parse_stream_target((host + QStringLiteral(":%1").arg(portSpin->value())).toStdString());
    if (const auto* t = std::get_if<StreamTarget>(&parsed)) return *t;
    problemLabel->setText(text_of(std::get<std::string>(parsed)));
    problemLabel->show();
    return std::nullopt;
}

void StreamDialog::accept() {
    const auto t = target();
    if (!t) return;
    emit chosen(sendCheck->isChecked(), *t);
    QDialog::accept();
}

} // namespace zento
