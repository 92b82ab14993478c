// Widget tests of the dialog-template layer, the page frame, the start page
// and the multiple-file list page: one offscreen QApplication for the run.
// Death tests start the test program afresh ("threadsafe"), so a child that
// ends the process for real runs with a QApplication of its own.
#include <cstdlib>

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
