#include "app/page_control_ex.h"

#include <QProxyStyle>
#include <QTabBar>

#include "app/tab_rows.h"
#include "app/television_style.h"

namespace trellon {
namespace {

// Places the pages of a page control: full width, down to the bottom, 4 pixels higher than the
// toolkit would.
class PageControlStyle final : public QProxyStyle {
 public:
  QRect subElementRect(SubElement element, const QStyleOption* option,
                       const QWidget* widget) const override {
    QRect rect = QProxyStyle::subElementRect(element, option, widget);
    if (widget && (element == SE_TabWidgetTabContents || element == SE_TabWidgetTabPane)) {
      rect.setLeft(0);
      rect.setRight(widget->width() - 1);
      rect.setTop(rect.top() - 4);
      rect.setBottom(widget->height() - 1);
    }
    return rect;
  }
};

}  // namespace

TPageControlEx::TPageControlEx(QWidget* parent) : QTabWidget(parent), tabs_(new TabRows(this)) {
  auto* style = new PageControlStyle;
  style->setParent(this);
  setStyle(style);
  setTabBar(tabs_);
  setDocumentMode(true);
}

void TPageControlEx::SetFlatButtons(bool flat) {
  tabs_->setProperty(TelevisionStyle::kFlatButtons, flat);
  tabs_->update();
}

}  // namespace trellon
