// Widget tests of the options, criteria and summary pages: one offscreen
// QApplication for the whole run, every wizard page class registered.
#include <cstdlib>

#include <QApplication>
#include <gtest/gtest.h>

#include "app/RegisterPages.h"

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
  QApplication app(argc, argv);
  RegisterWizardPages();
  return RUN_ALL_TESTS();
}
