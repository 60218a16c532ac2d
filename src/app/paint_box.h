#pragma once

#include <QWidget>
#include <functional>

namespace trellon {

// A plain area that shows only what its paint handler draws (the overlay strip).
class TPaintBox : public QWidget {
  Q_OBJECT

 public:
  explicit TPaintBox(QWidget* parent = nullptr) : QWidget(parent) {}
  void SetOnPaint(std::function<void(QPainter&)> onPaint) { onPaint_ = std::move(onPaint); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::function<void(QPainter&)> onPaint_;
};

}  // namespace trellon
