#include "ui/qt_menu.h"

#include <QAction>
#include <QKeyEvent>
#include <QMetaObject>

#include "ui/linux_texts.h"

namespace quorvelle {

class QtMenu::Item : public MenuItem {
 public:
  explicit Item(QAction* action) : action_(action) {}
  void setState(bool on) override {
    // Only items that ever carry a state show a check box.
    action_->setCheckable(true);
    action_->setChecked(on);
  }
  void setHidden(bool hidden) override { action_->setVisible(!hidden); }

 private:
  QAction* action_;  // owned by the QMenu
};

// Qt matches the shortcuts of a menu's actions only against the windows that
// show the menu, never against the open menu itself; a status item menu has no
// such window, so the open menu matches its shortcuts here.
class QtMenu::ShortcutFilter : public QObject {
 public:
  explicit ShortcutFilter(QMenu* menu) : QObject(menu), menu_(menu) {}

  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const QKeySequence pressed(QKeyCombination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key())));
    for (QAction* action : menu_->actions()) {
      if (action->isVisible() && action->isEnabled() && !action->shortcut().isEmpty() &&
          action->shortcut().matches(pressed) == QKeySequence::ExactMatch) {
        menu_->hide();
        action->trigger();
        return true;
      }
    }
    return false;
  }

 private:
  QMenu* menu_;
};

QtMenu::QtMenu() : menu_(std::make_unique<QMenu>()) {
  QObject::connect(menu_.get(), &QMenu::aboutToShow, menu_.get(), [this] {
    if (needsUpdate_) needsUpdate_();
  });
  menu_->installEventFilter(new ShortcutFilter(menu_.get()));
}

QtMenu::~QtMenu() = default;

MenuItem& QtMenu::addItem(const std::string& title, const std::string& keyEquivalent,
                          std::function<void()> action) {
  QString text = linuxText(title);
  text.replace(QLatin1Char('&'), QLatin1String("&&"));  // no mnemonics
  QAction* qaction = menu_->addAction(text);
  if (!keyEquivalent.empty()) qaction->setShortcut(shortcutFor(keyEquivalent));
  QObject::connect(qaction, &QAction::triggered, menu_.get(), [action = std::move(action)] {
    if (action) action();
  });
  items_.push_back(std::make_unique<Item>(qaction));
  return *items_.back();
}

MenuItem& QtMenu::addSeparator() {
  items_.push_back(std::make_unique<Item>(menu_->addSeparator()));
  return *items_.back();
}

void QtMenu::setNeedsUpdateHandler(std::function<void()> handler) { needsUpdate_ = std::move(handler); }

void QtMenu::scheduleRefresh() {
  if (refreshPending_) return;
  refreshPending_ = true;
  QMetaObject::invokeMethod(
      menu_.get(),
      [this] {
        refreshPending_ = false;
        if (needsUpdate_) needsUpdate_();
      },
      Qt::QueuedConnection);
}

QKeySequence QtMenu::shortcutFor(const std::string& keyEquivalent) {
  return QKeySequence(QStringLiteral("Ctrl+") + QString::fromStdString(keyEquivalent).toUpper());
}

}  // namespace quorvelle
