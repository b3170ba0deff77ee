// main() for GoogleTest programs that need a QApplication (widgets, event
// loops, the network stack). The application object lives for the whole run.

#include <QApplication>
#include <QByteArray>
#include <cstring>
#include <memory>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  bool listing = false;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--gtest_list_tests", 18) == 0) listing = true;
  std::unique_ptr<QApplication> app;
  if (!listing) {
    // Tests never need a real display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    app = std::make_unique<QApplication>(argc, argv);
  }
  return RUN_ALL_TESTS();
}
