// GoogleTest main with a QApplication, for tests of widgets and timers.
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The offscreen platform would reach for GLX when an X display is around (under xvfb-run);
    // these tests need no OpenGL, so keep them the same with or without a display.
    if (!qEnvironmentVariableIsSet("QT_QPA_OFFSCREEN_NO_GLX"))
        qputenv("QT_QPA_OFFSCREEN_NO_GLX", "1");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
