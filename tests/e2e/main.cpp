// End-to-end tests of the wizard: every page driven as a user would, from
// the start page to the completion message of a run. One offscreen
// QApplication; every wizard page class registered as the program does.
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
