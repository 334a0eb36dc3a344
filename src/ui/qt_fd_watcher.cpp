#include "ui/qt_fd_watcher.h"

#include <QSocketNotifier>

namespace quorvelle {

namespace {

class QtWatch : public FdWatcher::Watch {
 public:
  QtWatch(int fd, std::function<void()> onReadable) : notifier_(new QSocketNotifier(fd, QSocketNotifier::Read)) {
    QObject::connect(notifier_, &QSocketNotifier::activated, notifier_,
                     [callback = std::move(onReadable)] { callback(); });
  }
  // The watch may end inside its own callback, so the notifier goes later;
  // disabled now, it reports nothing more.
  ~QtWatch() override {
    notifier_->setEnabled(false);
    notifier_->deleteLater();
  }

 private:
  QSocketNotifier* notifier_;
};

}  // namespace

std::unique_ptr<FdWatcher::Watch> QtFdWatcher::watchReadable(int fd, std::function<void()> onReadable) {
  return std::make_unique<QtWatch>(fd, std::move(onReadable));
}

}  // namespace quorvelle
