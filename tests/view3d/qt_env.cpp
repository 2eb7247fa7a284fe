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
        if (gl_) {
            const char* display = std::getenv("DISPLAY");
            if (display && *display) {
                qputenv("QT_QPA_PLATFORM", "xcb");
                g_gl = true;
            } else {
                qputenv("QT_QPA_PLATFORM", "offscreen");
            }
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
