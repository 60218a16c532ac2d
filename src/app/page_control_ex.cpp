#include "app/page_control_ex.h"

#include <QTabBar>

namespace trellon {

TPageControlEx::TPageControlEx(QWidget* parent) : QTabWidget(parent) {
  setDocumentMode(true);
  setUsesScrollButtons(true);
  tabBar()->setDrawBase(false);
  setStyleSheet(QStringLiteral(
      "QTabWidget::pane { border: none; margin: 0px; position: absolute; top: -4px; }"));
}

}  // namespace trellon
