#include "qt_env.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

namespace view3d_test {

namespace {

bool g_gl = false;

class QtEnvironment : public ::testing::Environment {
  public:
    explicit QtEnvironment(bool gl) : gl_(gl) {}
    void SetUp() override {
        const char* display = std::getenv("DISPLAY");
        const bool have_display = display && *display;
        if (gl_) {
            qputenv("QT_QPA_PLATFORM", have_display ? "xcb" : "offscreen");
            g_gl = have_display;
        } else if (qgetenv("QT_QPA_PLATFORM") == "xcb" && !have_display) {
            qputenv("QT_QPA_PLATFORM", "offscreen"); // asked for X but there is none
        }
        static int argc = 1;
        static char name[] = "test_view3d";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

  private:
    bool gl_;
    QApplication* app_ = nullptr;
};

} // namespace

void install_qt_environment(bool gl) {
    ::testing::AddGlobalTestEnvironment(new QtEnvironment(gl));
}

bool gl_available() {
    return g_gl;
}

} // namespace view3d_test
