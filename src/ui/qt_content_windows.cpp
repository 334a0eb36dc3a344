#include "ui/qt_content_windows.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QMenu>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include "about/about_view.h"
#include "settings/settings_layout.h"
#include "ui/about_widget.h"
#include "ui/settings_widget.h"
#include "ui/widget_window.h"

namespace quorvelle {

namespace {

constexpr char kMenuButtonText[] = "⋯";
constexpr char kMenuButtonToolTip[] = "More";

// The settings window: the content, the view it renders, and a button with
// the application commands.
class SettingsHost : public QWidget {
 public:
  SettingsHost(std::unique_ptr<SettingsView> view, QMenu* commands) : view_(std::move(view)) {
    setAttribute(Qt::WA_QuitOnClose, false);
    content_ = new SettingsWidget(*view_, this);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(content_);

    auto* button = new QToolButton(this);
    button->setObjectName(QtContentWindows::kMenuButtonName);
    button->setText(QString::fromUtf8(kMenuButtonText));
    button->setToolTip(QString::fromUtf8(kMenuButtonToolTip));
    button->setAutoRaise(true);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    button->setMenu(commands);
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(0, 0, settings_layout::kPadding / 2, settings_layout::kPadding / 4);
    bar->addStretch(1);
    bar->addWidget(button);
    column->addLayout(bar);

    // A right click anywhere the content does not claim offers the same commands.
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this, commands](const QPoint& position) { commands->popup(mapToGlobal(position)); });
  }

  // The content goes first: it still talks to its view as it goes.
  ~SettingsHost() override { delete content_; }

 protected:
  bool event(QEvent* event) override {
    const bool handled = QWidget::event(event);
    // Rows that appear later (the command row) make the window taller rather
    // than being cut off; it never shrinks by itself.
    if (event->type() == QEvent::LayoutRequest && isVisible() && layout()) {
      const int needed = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(width())
                                                       : layout()->totalSizeHint().height();
      if (needed > height()) resize(width(), needed);
    }
    return handled;
  }

 private:
  std::unique_ptr<SettingsView> view_;
  SettingsWidget* content_;
};

QWidget* aboutHost(const Bundles& bundles) {
  auto* host = new QWidget;
  host->setAttribute(Qt::WA_QuitOnClose, false);
  auto* column = new QVBoxLayout(host);
  column->setContentsMargins(0, 0, 0, 0);
  AboutView view(bundles);
  column->addWidget(new AboutWidget(view, host));
  return host;
}

}  // namespace

QtContentWindow::QtContentWindow(QtApplication& application, QWidget* host) : application_(application), host_(host) {
  application_.registerWindow(host, this);
}

QtContentWindow::~QtContentWindow() {
  application_.unregisterWindow(host_);
  if (!host_) return;
  host_->hide();
  // Not at once: the window may be in the middle of handling its own close.
  host_->deleteLater();
}

bool QtContentWindow::isVisible() const { return isWidgetOnScreen(host_); }

void QtContentWindow::makeKeyAndOrderFront() { bringWidgetToFront(host_); }

ContentSize QtContentWindow::fittingSize() const {
  host_->ensurePolished();
  const QSize hint = host_->sizeHint();
  return {static_cast<double>(hint.width()), static_cast<double>(hint.height())};
}

void QtContentWindow::setTitle(const std::string& title) {
  title_ = title;
  host_->setWindowTitle(QString::fromStdString(title));
}

void QtContentWindow::setStyleMask(std::uint32_t styleMask) {
  styleMask_ = styleMask;
  Qt::WindowFlags flags = Qt::Window | Qt::CustomizeWindowHint;
  if (styleMask & kWindowTitled) {
    flags |= Qt::WindowTitleHint;
  } else {
    flags |= Qt::FramelessWindowHint;
  }
  if (styleMask & kWindowClosable) flags |= Qt::WindowCloseButtonHint;
  if (styleMask & kWindowMiniaturizable) flags |= Qt::WindowMinimizeButtonHint;
  if (styleMask & kWindowResizable) flags |= Qt::WindowMaximizeButtonHint;
  host_->setWindowFlags(flags);
  if (!(styleMask & kWindowResizable)) host_->setFixedSize(host_->size());
}

void QtContentWindow::setContentMinSize(ContentSize size) {
  host_->setMinimumSize(qRound(size.width), qRound(size.height));
}

void QtContentWindow::setContentSize(ContentSize size) {
  const QSize target(qRound(size.width), qRound(size.height));
  if (styleMask_ & kWindowResizable) {
    host_->resize(target);
  } else {
    host_->setFixedSize(target);
  }
}

void QtContentWindow::center() {
  QScreen* screen = host_->screen() ? host_->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect available = screen->availableGeometry();
  host_->move(available.center() - QPoint(host_->width() / 2, host_->height() / 2));
}

void QtContentWindow::showWindow() {
  if (host_->isMinimized()) {
    host_->showNormal();
  } else {
    host_->show();
  }
}

QtContentWindows::QtContentWindows(QtApplication& application, SettingsServices services,
                                   CommandLineTool& commandLineTool, const Bundles& bundles)
    : application_(application), services_(services), commandLineTool_(commandLineTool), bundles_(bundles) {}

QtContentWindows::~QtContentWindows() = default;

std::unique_ptr<ContentWindow> QtContentWindows::makeSettingsWindow(Config& config, UpdateController& updates) {
  auto view = std::make_unique<SettingsView>(config, updates, commandLineTool_, services_);
  return std::make_unique<QtContentWindow>(application_, new SettingsHost(std::move(view), applicationMenu_.widget()));
}

std::unique_ptr<ContentWindow> QtContentWindows::makeAboutWindow() {
  return std::make_unique<QtContentWindow>(application_, aboutHost(bundles_));
}

}  // namespace quorvelle
