// Gives the panel tests one QApplication (fonts, pictures, the offscreen platform). Another
// file of the binary may already have made one; then that one is used.
#include <QApplication>
#include <gtest/gtest.h>

namespace {

class PanelsQtEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    if (!QCoreApplication::instance()) app_ = new QApplication(argc_, argv_);
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

private:
  int argc_ = 1;
  char name_[16] = "panels_tests";
  char *argv_[2] = {name_, nullptr};
  QApplication *app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment *const g_panels_qt =
    ::testing::AddGlobalTestEnvironment(new PanelsQtEnvironment);

} // namespace
