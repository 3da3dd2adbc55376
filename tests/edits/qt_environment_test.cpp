// Gives the whole edits test binary its QApplication (offscreen, set by CTest).
#include <QApplication>
#include <gtest/gtest.h>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
  void SetUp() override { app_ = new QApplication(argc_, argv_); }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

private:
  int argc_ = 1;
  char name_[16] = "edits_tests";
  char *argv_[2] = {name_, nullptr};
  QApplication *app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment *const g_qt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

} // namespace
