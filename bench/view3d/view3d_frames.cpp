// Writes what the 3D window shows for a fixed set of poses and readings, as PNG files, so that
// two builds can be compared pixel for pixel (run under xvfb-run -a):
//   view3d_frames DIR        DIR/frame-N.png as grabbed from the drawing surface,
//                            DIR/screen-N.png as the window shows it on the X screen
//   view3d_frames --compare A B   the number of differing pixels of each file of A and B
#include "controls/fonts.h"
#include "view3d/big3d.h"

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <cstdio>

namespace {

int compare(const QString& a, const QString& b) {
    int bad = 0;
    const QStringList names = QDir(a).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        const QImage x = QImage(a + '/' + name).convertToFormat(QImage::Format_RGB32);
        const QImage y = QImage(b + '/' + name).convertToFormat(QImage::Format_RGB32);
        long diff = 0;
        if (x.size() != y.size()) {
            diff = -1;
        } else {
            for (int r = 0; r < x.height(); ++r)
                for (int c = 0; c < x.width(); ++c)
                    diff += x.pixel(c, r) != y.pixel(c, r);
        }
        std::printf("%s: %ld differing pixels%s\n", qPrintable(name), diff,
                    diff < 0 ? " (sizes differ)" : "");
        bad += diff != 0;
    }
    return names.isEmpty() || bad ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && QByteArray(argv[1]) == "--compare")
        return compare(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    if (argc != 2) {
        std::fprintf(stderr, "usage: view3d_frames DIR | --compare A B\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
    QApplication app(argc, argv);
    zento::use_window_font();
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QString folder = qEnvironmentVariable("ZENTO_BIN_DIR");
    if (folder.isEmpty()) folder = QDir(QCoreApplication::applicationDirPath()).filePath("../bin");

    zento::LatestValues v;
    zento::Big3D w(v, folder);
    bool failed = false;
    w.end_program = [&] { failed = true; };
    w.message_box = [](const QString&, const QString& text) {
        std::fprintf(stderr, "3D window: %s\n", qPrintable(text));
    };
    w.Show3D();
    if (failed || !w.has_device()) return 1;
    w.renderTimer->stop();
    if (!QTest::qWaitForWindowExposed(&w)) return 1;

    struct Pose {
        float roll, pitch, yaw;
        const char *r, *p, *y, *gx, *ax, *mz;
    };
    const Pose poses[] = {
        {0, 0, 0, "", "", "", "", "", ""},
        {-10, 5, 123, "10", "5", "123.9", "-1234", "-16384", "-512"},
        {30, -20, -170, "-30.25", "-20", "-170.5", "7", "16001", "33"},
        {-55, 38, 75, "55", "38", "75.1", "0", "120", "-201"},
    };
    int n = 0;
    for (const Pose& p : poses) {
        v.Roll = p.roll;
        v.Pitch = p.pitch;
        v.Yaw = p.yaw;
        v.str_roll = p.r;
        v.str_pitch = p.p;
        v.str_yaw = p.y;
        v.str_Xjiaosulv = p.gx;
        v.str_Xjiasudu = p.ax;
        v.str_Zcichang = p.mz;
        w.Render(); // as the timer does
        QTest::qWait(200);
        QGuiApplication::primaryScreen()
            ->grabWindow(w.winId(), 0, 0, 821, 601)
            .toImage()
            .save(QStringLiteral("%1/screen-%2.png").arg(out).arg(n));
        w.surface()->grabFramebuffer().save(QStringLiteral("%1/frame-%2.png").arg(out).arg(n));
        ++n;
    }
    return 0;
}
