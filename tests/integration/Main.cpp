#include <gtest/gtest.h>

#include <QCoreApplication>

// The endpoint and the scheduler need the application's event loop, as in the agent.
int main(int argc, char** argv) {
  QCoreApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
