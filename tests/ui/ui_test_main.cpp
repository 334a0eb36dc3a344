// Runs the Qt tests under a QApplication, offscreen unless a platform is
// chosen (test discovery runs this binary too).
#include <QApplication>
#include <cstdlib>
#include <gmock/gmock.h>

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
