// One QApplication for the whole test binary (the widgets need it; it must outlive them).
#include <QApplication>
#include <gtest/gtest.h>

namespace {

class QtAppEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        static int argc = 1;
        static char name[] = "test_widgets";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

  private:
    QApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const qt_env =
    ::testing::AddGlobalTestEnvironment(new QtAppEnvironment);

} // namespace
