#pragma once

#include <QTabWidget>

namespace trellon {

class TabRows;

// The page control of the main window and its settings pages: pages fill the control from edge
// to edge and down to its bottom, without a frame, and start 4 pixels higher than the toolkit's
// own page rectangle. Its tabs wrap into further rows when they do not fit its width.
class TPageControlEx : public QTabWidget {
  Q_OBJECT

 public:
  explicit TPageControlEx(QWidget* parent = nullptr);

  TabRows* Tabs() const { return tabs_; }
  // Tabs drawn as flat buttons (the main page control) instead of tabs.
  void SetFlatButtons(bool flat);

 private:
  TabRows* tabs_;
};

}  // namespace trellon
