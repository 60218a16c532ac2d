#pragma once

#include <QTabWidget>

namespace trellon {

// The page control of the main window and its settings pages: pages fill the control from edge
// to edge and down to its bottom, without a frame, and start 4 pixels higher than the toolkit's
// own page rectangle.
class TPageControlEx : public QTabWidget {
  Q_OBJECT

 public:
  explicit TPageControlEx(QWidget* parent = nullptr);
};

}  // namespace trellon
