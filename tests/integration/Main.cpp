#include <gtest/gtest.h>

#include <QApplication>

// The endpoint and the scheduler need the application's event loop, and the windows its widgets,
// as in the agent; off screen, also where the tests are only listed.
int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
