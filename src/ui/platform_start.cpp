#include "ui/platform_start.h"

#include <QString>
#include <cstdio>
#include <cstdlib>

namespace quorvelle {

namespace {

QtMessageHandler previousHandler = nullptr;
// The platform plugin's own explanation comes as a warning before the fatal message.
std::string lastWarning;

void guardHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    if (type == QtWarningMsg || type == QtCriticalMsg) lastWarning = message.toStdString();
    if (previousHandler) previousHandler(type, context, message);
    return;
  }
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  std::fprintf(stderr, "Quorvelle: cannot open the display (DISPLAY=%s, WAYLAND_DISPLAY=%s): %s\n",
               display ? display : "", wayland ? wayland : "",
               (lastWarning.empty() ? message.toStdString() : lastWarning).c_str());
  std::_Exit(1);
}

}  // namespace

PlatformStartGuard::PlatformStartGuard() {
  previous_ = qInstallMessageHandler(guardHandler);
  previousHandler = previous_;
}

PlatformStartGuard::~PlatformStartGuard() {
  qInstallMessageHandler(previous_);
  previousHandler = nullptr;
  lastWarning.clear();
}

}  // namespace quorvelle
