#include "app/paint_box.h"

#include <QPainter>

namespace trellon {

void TPaintBox::paintEvent(QPaintEvent* /*event*/) {
  if (!onPaint_) return;
  QPainter painter(this);
  onPaint_(painter);
}

}  // namespace trellon
