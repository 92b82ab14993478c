// Tests of the application object and the program: one offscreen
// QApplication for the run, every page class registered.
#include <cstdlib>

#include <QApplication>
#include <gtest/gtest.h>

#include "app/RegisterPages.h"

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  RegisterWizardPages();
  return RUN_ALL_TESTS();
}
