#pragma once
// Gives a test binary one QApplication for all its tests: include this header in any test file
// of a binary whose tests need widgets, pixmaps or fonts.

#include <QApplication>
#include <gtest/gtest.h>

namespace kvtest {

class QtApplicationEnvironment : public ::testing::Environment {
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

inline ::testing::Environment *const g_qt_application =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

} // namespace kvtest
