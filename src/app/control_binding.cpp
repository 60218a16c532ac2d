#include "app/control_binding.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>

namespace trellon {
namespace {

QString ToQString(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void BindCheckBox(QCheckBox& box, CheckBoxModel& model, ErrorReporter& errors) {
  box.setObjectName(ToQString(model.Name()));
  box.setText(ToQString(model.Caption()));
  box.setChecked(model.Checked());
  QPointer<QCheckBox> view(&box);
  model.SetViewUpdate([view, &model] {
    if (view) view->setChecked(model.Checked());
  });
  // clicked is the user's action only; setChecked from the model does not emit it.
  QObject::connect(&box, &QCheckBox::clicked, &box, [&model, &errors](bool checked) {
    RunHandler(errors, [&] { model.SetChecked(checked); });
  });
}

void BindLineEdit(QLineEdit& edit, TextEditModel& model, ErrorReporter& errors) {
  edit.setObjectName(ToQString(model.Name()));
  edit.setText(ToQString(model.Text()));
  QPointer<QLineEdit> view(&edit);
  model.SetViewUpdate([view, &model] {
    const QString text = ToQString(model.Text());
    if (view && view->text() != text) view->setText(text);
  });
  QObject::connect(&edit, &QLineEdit::textEdited, &edit, [&model, &errors](const QString& text) {
    RunHandler(errors, [&] { model.SetText(text.toStdString()); });
  });
}

void BindRadioGroup(QGroupBox& group, RadioGroupModel& model, ErrorReporter& errors) {
  group.setObjectName(ToQString(model.Name()));
  group.setTitle(ToQString(model.Caption()));
  auto* buttons = new QButtonGroup(&group);
  auto* layout = new QVBoxLayout(&group);
  int id = 0;
  for (const std::string& item : model.Items()) {
    auto* button = new QRadioButton(ToQString(item), &group);
    button->setObjectName(ToQString(model.Name()) + QString::number(id));
    layout->addWidget(button);
    buttons->addButton(button, id++);
  }
  QPointer<QButtonGroup> view(buttons);
  const auto show = [view, &model] {
    if (!view) return;
    if (QAbstractButton* selected = view->button(model.ItemIndex())) {
      selected->setChecked(true);
      return;
    }
    // No item selected: an exclusive group cannot uncheck its last button.
    view->setExclusive(false);
    for (QAbstractButton* button : view->buttons()) button->setChecked(false);
    view->setExclusive(true);
  };
  show();
  model.SetViewUpdate(show);
  QObject::connect(buttons, &QButtonGroup::idClicked, &group, [&model, &errors](int index) {
    RunHandler(errors, [&] { model.SetItemIndex(index); });
  });
}

QtLogView::QtLogView(QPlainTextEdit& memo) : memo_(memo) {
  // Every appended and removed line would stay in the undo history: memory without end. Lines
  // over the maximum are dropped by the memo itself (AppendLine), which then also frees their
  // text; lines removed by a cursor would stay in the document's text buffer.
  memo_.setUndoRedoEnabled(false);
  memo_.setMaximumBlockCount(static_cast<int>(EventLog::kMaxLines));
  QObject::connect(&memo_, &QPlainTextEdit::textChanged, &memo_, [this] {
    if (!updating_) edited_ = true;
  });
}

void QtLogView::ShowLines(const std::deque<std::string>& lines) {
  QString text;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) text += QLatin1Char('\n');
    text += ToQString(lines[i]);
  }
  updating_ = true;
  memo_.setPlainText(text);
  updating_ = false;
  edited_ = false;
  lineCount_ = std::min(lines.size(), EventLog::kMaxLines);
}

void QtLogView::AppendLine(const std::string& line) {
  updating_ = true;
  if (lineCount_ > 0 && memo_.document()->isEmpty()) {
    // The one line is empty: appendPlainText would write into it.
    QTextCursor cursor(memo_.document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertBlock();
    cursor.insertText(ToQString(line));
  } else {
    // Keeps to the maximum block count, and lets the document free the text of dropped lines.
    memo_.appendPlainText(ToQString(line));
  }
  ++lineCount_;
  memo_.moveCursor(QTextCursor::End);
  memo_.ensureCursorVisible();
  // The newest line in view, from its time stamp on (not scrolled to its end).
  memo_.horizontalScrollBar()->setValue(0);
  updating_ = false;
}

void QtLogView::RemoveFirstLines(size_t count) {
  lineCount_ -= std::min(count, lineCount_);
  // The memo has dropped its lines over the maximum already; only those left over go here.
  const auto blocks = static_cast<size_t>(memo_.document()->blockCount());
  const size_t kept = std::max<size_t>(lineCount_, 1);  // an empty document has one block
  if (blocks <= kept) return;
  updating_ = true;
  QTextCursor cursor(memo_.document());
  cursor.movePosition(QTextCursor::Start);
  cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor,
                      static_cast<int>(blocks - kept));
  cursor.removeSelectedText();
  updating_ = false;
}

std::optional<std::vector<std::string>> QtLogView::TakeEditedLines() {
  if (!edited_) return std::nullopt;
  edited_ = false;
  std::vector<std::string> lines;
  if (!memo_.document()->isEmpty()) {
    for (QTextBlock block = memo_.document()->begin(); block.isValid(); block = block.next()) {
      lines.push_back(block.text().toStdString());
    }
  }
  lineCount_ = lines.size();
  return lines;
}

}  // namespace trellon
