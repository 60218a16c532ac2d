#pragma once

#include <QTabBar>
#include <vector>

namespace trellon {

// A tab bar that puts its tabs in as many rows as its page control's width needs, so that every
// caption shows whole: no scroll arrows, no shortened captions. Tabs keep their own width on a
// single row; when they wrap, each row is stretched to the full width. The bar paints and hit-tests
// its own places; selection, keys and signals are QTabBar's.
class TabRows final : public QTabBar {
  Q_OBJECT

 public:
  explicit TabRows(QWidget* parent = nullptr);

  // The tab's place for the current width, in the bar's coordinates.
  QRect TabPlace(int index) const;
  int RowCount() const;
  // The tab at the point, or -1.
  int TabAtPoint(const QPoint& point) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  // The width the rows are laid out in: the page control's, as the bar spans it.
  int RowWidth() const;
  std::vector<QRect> Places(int width) const;
};

}  // namespace trellon
