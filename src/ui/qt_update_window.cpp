#include "ui/qt_update_window.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/linux_texts.h"

namespace quorvelle {

// Tells the owner when the user brings the window forward or closes it.
class QtUpdateWindow::Events : public QObject {
 public:
  explicit Events(QtUpdateWindow& owner) : owner_(owner) {}
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::WindowActivate && owner_.onAttention_) owner_.onAttention_();
    if (event->type() == QEvent::Close && owner_.onClosed_) {
      // Runs after the close, from the event loop: the handler may show the window again.
      QMetaObject::invokeMethod(
          owner_.widget_.get(), [this] { if (owner_.onClosed_) owner_.onClosed_(); }, Qt::QueuedConnection);
    }
    return false;
  }

 private:
  QtUpdateWindow& owner_;
};

QtUpdateWindow::QtUpdateWindow(Workspace& workspace) : workspace_(workspace), widget_(std::make_unique<QWidget>()) {
  widget_->setAttribute(Qt::WA_QuitOnClose, false);
  widget_->setMinimumWidth(420);
  headline_ = new QLabel;
  headline_->setObjectName("headline");
  headline_->setTextFormat(Qt::PlainText);
  QFont bold = headline_->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.15);
  headline_->setFont(bold);
  message_ = new QLabel;
  message_->setObjectName("message");
  message_->setTextFormat(Qt::PlainText);  // feed texts are never markup
  message_->setWordWrap(true);
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  links_ = new QLabel;
  links_->setObjectName("links");
  links_->setTextFormat(Qt::RichText);
  QObject::connect(links_, &QLabel::linkActivated, links_, [this](const QString& href) { openLink(href); });
  busy_ = new QProgressBar;
  busy_->setRange(0, 0);
  button_ = new QPushButton;
  button_->setObjectName("button");
  button_->setDefault(true);
  QObject::connect(button_, &QPushButton::clicked, widget_.get(), &QWidget::close);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(links_);
  buttons->addStretch();
  buttons->addWidget(button_);
  auto* layout = new QVBoxLayout(widget_.get());
  layout->addWidget(headline_);
  layout->addWidget(message_);
  layout->addWidget(busy_);
  layout->addLayout(buttons);
  widget_->installEventFilter(new Events(*this));
}

QtUpdateWindow::~QtUpdateWindow() = default;

void QtUpdateWindow::show(const UpdateWindowContent& content, bool activate) {
  content_ = content;
  widget_->setWindowTitle(linuxText(content.windowTitle));
  headline_->setText(linuxText(content.headline));
  message_->setText(linuxText(content.message));
  message_->setVisible(!content.message.empty());
  // Links go by their index: no address from a feed ends up in markup.
  QStringList anchors;
  for (size_t i = 0; i < content.links.size(); ++i) {
    anchors << QStringLiteral("<a href=\"%1\">%2</a>").arg(i).arg(linuxText(content.links[i].title).toHtmlEscaped());
  }
  links_->setText(anchors.join(QStringLiteral(" &nbsp; ")));
  links_->setVisible(!anchors.isEmpty());
  busy_->setVisible(content.busy);
  button_->setText(linuxText(content.buttonTitle));
  widget_->adjustSize();
  widget_->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
  widget_->show();
  if (activate) {
    widget_->raise();
    widget_->activateWindow();
  }
}

void QtUpdateWindow::setHandlers(std::function<void()> onAttention, std::function<void()> onClosed) {
  onAttention_ = std::move(onAttention);
  onClosed_ = std::move(onClosed);
}

void QtUpdateWindow::openLink(const QString& href) {
  bool ok = false;
  const qsizetype index = href.toLongLong(&ok);
  if (ok && index >= 0 && static_cast<size_t>(index) < content_.links.size()) {
    workspace_.openURL(content_.links[static_cast<size_t>(index)].url);
  }
}

}  // namespace quorvelle
