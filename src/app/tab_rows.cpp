#include "app/tab_rows.h"

#include <QEvent>
#include <QMouseEvent>
#include <QStyleOptionTab>
#include <QStylePainter>
#include <algorithm>
#include <set>

namespace trellon {

TabRows::TabRows(QWidget* parent) : QTabBar(parent) {
  setUsesScrollButtons(false);
  setElideMode(Qt::ElideNone);
  setExpanding(false);
  setDrawBase(false);
  // The bar's own hover tracking knows only its single row.
  setAttribute(Qt::WA_Hover, false);
}

int TabRows::RowWidth() const {
  return parentWidget() ? parentWidget()->width() : width();
}

std::vector<QRect> TabRows::Places(int width) const {
  std::vector<QRect> places;
  std::vector<std::vector<int>> rows(1);
  int rowHeight = 0;
  int x = 0;
  for (int i = 0; i < count(); ++i) {
    const QSize size = tabSizeHint(i);
    rowHeight = std::max(rowHeight, size.height());
    if (x > 0 && x + size.width() > width) {
      rows.emplace_back();
      x = 0;
    }
    rows.back().push_back(i);
    x += size.width();
  }
  places.resize(static_cast<size_t>(count()));
  const bool stretch = rows.size() > 1;
  for (size_t r = 0; r < rows.size(); ++r) {
    int natural = 0;
    for (int i : rows[r]) natural += tabSizeHint(i).width();
    const int extra = stretch ? std::max(0, width - natural) : 0;
    int left = 0;
    int given = 0;
    for (size_t k = 0; k < rows[r].size(); ++k) {
      const int i = rows[r][k];
      // The row's spare width shared out evenly; the last tab takes what rounding left.
      int share = extra / static_cast<int>(rows[r].size());
      if (k + 1 == rows[r].size()) share = extra - given;
      given += share;
      const int tabWidth = tabSizeHint(i).width() + share;
      places[static_cast<size_t>(i)] =
          QRect(left, static_cast<int>(r) * rowHeight, tabWidth, rowHeight);
      left += tabWidth;
    }
  }
  return places;
}

QRect TabRows::TabPlace(int index) const {
  if (index < 0 || index >= count()) return {};
  return Places(RowWidth())[static_cast<size_t>(index)];
}

int TabRows::RowCount() const {
  std::set<int> tops;
  for (const QRect& place : Places(RowWidth())) tops.insert(place.top());
  return static_cast<int>(tops.size());
}

int TabRows::TabAtPoint(const QPoint& point) const {
  const std::vector<QRect> places = Places(RowWidth());
  for (size_t i = 0; i < places.size(); ++i) {
    if (places[i].contains(point)) return static_cast<int>(i);
  }
  return -1;
}

QSize TabRows::sizeHint() const {
  const int width = RowWidth();
  int bottom = 0;
  for (const QRect& place : Places(width)) bottom = std::max(bottom, place.bottom() + 1);
  return {width, bottom};
}

QSize TabRows::minimumSizeHint() const {
  int widest = 0;
  for (int i = 0; i < count(); ++i) widest = std::max(widest, tabSizeHint(i).width());
  return {widest, count() > 0 ? tabSizeHint(0).height() : 0};
}

bool TabRows::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::HoverEnter:
    case QEvent::HoverMove:
    case QEvent::HoverLeave:
    case QEvent::ToolTip:
      return true;
    default:
      return QTabBar::event(event);
  }
}

void TabRows::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  const std::vector<QRect> places = Places(RowWidth());
  for (int i = 0; i < count(); ++i) {
    QStyleOptionTab option;
    initStyleOption(&option, i);
    option.rect = places[static_cast<size_t>(i)];
    option.text = tabText(i);
    option.state &= ~QStyle::State_MouseOver;
    const bool first = i == 0 || places[static_cast<size_t>(i - 1)].top() != option.rect.top();
    const bool last =
        i + 1 == count() || places[static_cast<size_t>(i + 1)].top() != option.rect.top();
    option.position = first && last ? QStyleOptionTab::OnlyOneTab
                      : first       ? QStyleOptionTab::Beginning
                      : last        ? QStyleOptionTab::End
                                    : QStyleOptionTab::Middle;
    painter.drawControl(QStyle::CE_TabBarTab, option);
  }
}

void TabRows::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  const int index = TabAtPoint(event->position().toPoint());
  if (index >= 0 && isTabEnabled(index)) setCurrentIndex(index);
  event->accept();
}

void TabRows::mouseMoveEvent(QMouseEvent* event) {
  event->accept();
}

void TabRows::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
}

void TabRows::mouseDoubleClickEvent(QMouseEvent* event) {
  mousePressEvent(event);
}

}  // namespace trellon
