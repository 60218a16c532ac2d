#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "app/event_log.h"
#include "base/control_models.h"
#include "base/shell_services.h"

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;

namespace trellon {

// Binding of the settings widgets to their models: what the user does goes into the model (and
// so to the control's handler, run through the error handling); what the program sets in the
// model shows in the widget. The widget takes the model's name as its objectName.
void BindCheckBox(QCheckBox& box, CheckBoxModel& model, ErrorReporter& errors);
void BindLineEdit(QLineEdit& edit, TextEditModel& model, ErrorReporter& errors);
// Fills the group box with one radio button per item.
void BindRadioGroup(QGroupBox& group, RadioGroupModel& model, ErrorReporter& errors);

// The log memo as the event log's view. It keeps no undo history and at most the log's 3600
// lines.
class QtLogView final : public LogView {
 public:
  explicit QtLogView(QPlainTextEdit& memo);

  void ShowLines(const std::deque<std::string>& lines) override;
  void AppendLine(const std::string& line) override;
  void RemoveFirstLines(size_t count) override;
  std::optional<std::vector<std::string>> TakeEditedLines() override;

 private:
  QPlainTextEdit& memo_;
  bool updating_ = false;
  bool edited_ = false;
  size_t lineCount_ = 0;  // an empty document and one empty line look alike
};

}  // namespace trellon
