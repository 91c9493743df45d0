// Test entry point for window tests: a QApplication on the offscreen platform
// (unless another platform is asked for), then GoogleTest. Windows are driven
// with Qt Test's key and mouse functions inside the GoogleTest cases.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
