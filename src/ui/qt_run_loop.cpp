#include "ui/qt_run_loop.h"

#include <QMetaObject>
#include <QTimer>
#include <chrono>

namespace quorvelle {

class QtRunLoop::QtTimer : public Timer, public std::enable_shared_from_this<QtTimer> {
 public:
  QtTimer(QtRunLoop& loop, std::function<void(Timer&)> block) : loop_(loop), block_(std::move(block)) {}
  ~QtTimer() override { delete timer_; }

  void start(double intervalSeconds, bool repeats) {
    timer_ = new QTimer();
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setInterval(static_cast<int>(intervalSeconds * 1000.0 + 0.5));
    timer_->setSingleShot(!repeats);
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] { fire(); });
    timer_->start();
  }

  void invalidate() override {
    if (!valid_) return;
    valid_ = false;
    timer_->stop();
    // Dropped on a later turn: invalidate may be called from the timer's own block.
    std::shared_ptr<QtTimer> self = shared_from_this();
    QtRunLoop* loop = &loop_;
    QMetaObject::invokeMethod(&loop_.context_, [loop, self] { loop->timers_.erase(self); }, Qt::QueuedConnection);
  }
  bool isValid() const override { return valid_; }

 private:
  void fire() {
    std::shared_ptr<QtTimer> keepAlive = shared_from_this();
    if (!valid_) return;
    if (timer_->isSingleShot()) invalidate();
    block_(*this);
  }

  QtRunLoop& loop_;
  std::function<void(Timer&)> block_;
  QTimer* timer_ = nullptr;
  bool valid_ = true;
};

QtRunLoop::QtRunLoop() = default;

QtRunLoop::~QtRunLoop() = default;

void QtRunLoop::post(std::function<void()> task) {
  QMetaObject::invokeMethod(&context_, std::move(task), Qt::QueuedConnection);
}

std::shared_ptr<Timer> QtRunLoop::scheduleTimer(double intervalSeconds, bool repeats, RunLoopMode,
                                                std::function<void(Timer&)> block) {
  auto timer = std::make_shared<QtTimer>(*this, std::move(block));
  timer->start(intervalSeconds, repeats);
  timers_.insert(timer);
  return timer;
}

double QtRunLoop::now() const {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace quorvelle
