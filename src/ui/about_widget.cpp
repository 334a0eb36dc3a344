#include "ui/about_widget.h"

#include <QLabel>
#include <QLocale>
#include <QVBoxLayout>

#include "ui/linux_texts.h"
#include "ui/symbol_icons.h"
#include "ui/text_styles.h"

namespace quorvelle {
namespace {

QLabel* addCentred(QVBoxLayout* column, int spaceAbove, QLabel* label) {
  column->addSpacing(spaceAbove);
  label->setAlignment(Qt::AlignHCenter);
  label->setWordWrap(true);
  column->addWidget(label);
  return label;
}

}  // namespace

QString AboutWidget::localizedYear(int year, const QLocale& locale) {
  QLocale plain = locale;
  plain.setNumberOptions(plain.numberOptions() | QLocale::OmitGroupSeparator);
  return plain.toString(year);
}

AboutWidget::AboutWidget(const AboutView& view, QWidget* parent) : QWidget(parent) {
  setObjectName("about");
  setFixedWidth(AboutView::kWidth);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* icon = new QLabel(this);
  icon->setObjectName("aboutIcon");
  const QSize side(AboutView::kIconSize, AboutView::kIconSize);
  icon->setPixmap(applicationIcon(view.bundlePath()).pixmap(side, devicePixelRatioF()));
  icon->setFixedSize(side);
  column->addSpacing(AboutView::kIconTopSpace);
  column->addWidget(icon, 0, Qt::AlignHCenter);

  auto* name = addCentred(column, AboutView::kNameTopSpace, new QLabel(linuxText(AboutView::kName), this));
  name->setObjectName("aboutName");
  applyTextStyle(name, TextStyle::Title);

  auto* version = addCentred(column, AboutView::kVersionTopSpace,
                             new QLabel(QString::fromStdString(view.versionLine()), this));
  version->setObjectName("aboutVersion");
  applyTextStyle(version, TextStyle::Subheadline);
  setSecondary(version, true);

  std::string year = localizedYear(AboutView::currentYear(), QLocale()).toStdString();
  auto* copyright = addCentred(column, AboutView::kCopyrightTopSpace,
                               new QLabel(QString::fromStdString(AboutView::copyrightLine(year)), this));
  copyright->setObjectName("aboutCopyright");
  applyTextStyle(copyright, TextStyle::Caption);
  setSecondary(copyright, true);
  column->addSpacing(AboutView::kBottomSpace);
}

}  // namespace quorvelle
