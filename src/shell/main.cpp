// zento: the host program of the Tavro AHRS board.
#include "platform/serial/qt_serial_port.h"
#include "shell/zento.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const QString program_dir = QCoreApplication::applicationDirPath();
    zento::QtSerialPortControl port(program_dir);
    zento::Zento window(port, program_dir);
    window.show();
    return app.exec();
}
