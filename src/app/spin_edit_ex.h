#pragma once

#include <QWidget>

#include "base/control_models.h"
#include "base/shell_services.h"

class QLineEdit;
class QToolButton;

namespace trellon {

// A numeric edit with an up/down button pair, bound to a SpinEditModel: typed text goes into the
// model as it is (readers see it at once), leaving the edit clamps it, the buttons and the arrow
// keys step by the model's increment. ButtonWdith is the width of the button pair.
class TSpinEditEx : public QWidget {
  Q_OBJECT
  Q_PROPERTY(int ButtonWdith READ ButtonWdith WRITE SetButtonWdith)

 public:
  static constexpr int kHeight = 51;
  static constexpr int kButtonWidth = 32;

  TSpinEditEx(SpinEditModel& model, ErrorReporter& errors, QWidget* parent = nullptr);
  ~TSpinEditEx() override;

  // The button pair's width, or 0 when the control has no buttons.
  int ButtonWdith() const;
  // Sets the button pair's width when there are buttons; ignored otherwise.
  void SetButtonWdith(int width);

  QLineEdit* Edit() const { return edit_; }
  QToolButton* UpButton() const { return up_; }
  QToolButton* DownButton() const { return down_; }
  SpinEditModel& Model() const { return model_; }

  // Up (positive) or down by steps increments.
  void StepBy(int steps);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowModel();

  SpinEditModel& model_;
  ErrorReporter& errors_;
  QLineEdit* edit_;
  QWidget* buttons_;
  QToolButton* up_;
  QToolButton* down_;
};

}  // namespace trellon
