#include "qt_env.h"
#include "view3d_test_util.h"

#include <gtest/gtest.h>

using namespace view3d_test;
using namespace zento;

namespace {
[[maybe_unused]] const bool env = (install_qt_environment(true), true);

#define REQUIRE_GL()                                                                               \
    if (!gl_available()) GTEST_SKIP() << "no X display: run under xvfb-run -a"

TEST(Big3DRender, Dump) {
    REQUIRE_GL();
    Window win(bin_dir());
    win.w->Show3D();
    ASSERT_TRUE(win.w->has_device());
    QImage im = frame_of(*win.w);
    im.save("/tmp/h3d-scratch/rest.png");
    win.values.Yaw = 123;
    win.values.str_yaw = "123.9";
    frame_of(*win.w).save("/tmp/h3d-scratch/yaw.png");
    win.values.Yaw = 0;
    win.values.Roll = 10;
    frame_of(*win.w).save("/tmp/h3d-scratch/roll.png");
    win.values.Roll = 0;
    win.values.Pitch = 10;
    frame_of(*win.w).save("/tmp/h3d-scratch/pitch.png");
    win.w->grab().save("/tmp/h3d-scratch/window.png");
}
} // namespace
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
TEST(Big3DRender, Screen) {
    REQUIRE_GL();
    Window win(bin_dir());
    win.w->Show3D();
    QTest::qWait(500);
    win.w->grab().save("/tmp/h3d-scratch/window.png");
    QGuiApplication::primaryScreen()
        ->grabWindow(win.w->winId())
        .save("/tmp/h3d-scratch/screen.png");
}
