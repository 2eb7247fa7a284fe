// GoogleTest main with a QApplication, for tests of widgets, timers and the event loop. Built
// with ZENTO_TEST_GL for tests that draw with OpenGL: they run on X when a display is there.
// `--x11-without-gl`: on X with its OpenGL integration switched off (where a display is there).
#include "controls/fonts.h"
#include "qt_test.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace zento_test {

namespace {
bool g_gl = false;
}

bool gl_available() {
    return g_gl;
}

} // namespace zento_test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS(); // listing needs no display

    const char* display = std::getenv("DISPLAY");
    const bool have_display = display && *display;
#ifdef ZENTO_TEST_GL
    // OpenGL needs a real X display (the offscreen platform has none).
    qputenv("QT_QPA_PLATFORM", have_display ? "xcb" : "offscreen");
    zento_test::g_gl = have_display;
#else
    bool x11_without_gl = false;
    for (int i = 1; i < argc; ++i)
        x11_without_gl |= std::strcmp(argv[i], "--x11-without-gl") == 0;
    if (x11_without_gl && have_display) {
        // A real X display whose OpenGL integration is switched off.
        qputenv("QT_QPA_PLATFORM", "xcb");
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // The offscreen platform would reach for GLX when an X display is around (under
        // xvfb-run); these tests need no OpenGL, so keep them the same with or without one.
        if (!qEnvironmentVariableIsSet("QT_QPA_OFFSCREEN_NO_GLX"))
            qputenv("QT_QPA_OFFSCREEN_NO_GLX", "1");
    }
#endif
    QApplication app(argc, argv);
    zento::use_window_font();
    return RUN_ALL_TESTS();
}
