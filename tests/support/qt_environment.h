#pragma once
// The QApplication of a widget test binary: one source file of the binary registers it with
// KVTEST_QT_APPLICATION(). The platform (offscreen) comes from CTest's environment.

#include <QApplication>
#include <gtest/gtest.h>

namespace kvtest {

class QtEnvironment : public ::testing::Environment {
public:
  void SetUp() override { app_ = new QApplication(argc_, argv_); }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

private:
  int argc_ = 1;
  char name_[16] = "korvane_tests";
  char *argv_[2] = {name_, nullptr};
  QApplication *app_ = nullptr;
};

} // namespace kvtest

#define KVTEST_QT_APPLICATION()                                                                              \
  [[maybe_unused]] static ::testing::Environment *const kvtest_qt_environment =                              \
      ::testing::AddGlobalTestEnvironment(new ::kvtest::QtEnvironment)
