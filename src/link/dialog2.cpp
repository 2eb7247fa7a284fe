#include "link/dialog2.h"

namespace zento {

Dialog2::Dialog2(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Dialog2"));
    setWindowTitle(QStringLiteral("Gyroscope initialization"));
    setModal(false);
    setFixedSize(402, 80);

    Label1 = new QLabel(
        QStringLiteral("Keep the module is placed static in order to collect the gyro bias"), this);
    Label1->setGeometry(16, 8, 281, 57);
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    OKButton = new QPushButton(QStringLiteral("Start!"), this);
    OKButton->setGeometry(312, 8, 81, 25);
    OKButton->setDefault(true);
    CancelButton = new QPushButton(QStringLiteral("Canceled"), this);
    CancelButton->setGeometry(312, 40, 81, 25);

    connect(OKButton, &QPushButton::clicked, this, [this] { OKButton_Click(); });
    connect(CancelButton, &QPushButton::clicked, this, [this] { CancelButton_Click(); });
}

void Dialog2::OKButton_Click() {
    if (on_start) on_start();
    hide();
}

void Dialog2::CancelButton_Click() {
    hide();
}

} // namespace zento
