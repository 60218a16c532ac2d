#include "app/spin_edit_ex.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

namespace trellon {

TSpinEditEx::TSpinEditEx(SpinEditModel& model, ErrorReporter& errors, QWidget* parent)
    : QWidget(parent),
      model_(model),
      errors_(errors),
      edit_(new QLineEdit(this)),
      buttons_(new QWidget(this)),
      up_(new QToolButton(buttons_)),
      down_(new QToolButton(buttons_)) {
  setObjectName(QString::fromStdString(model.Name()));
  setFixedHeight(kHeight);
  setAutoFillBackground(true);

  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  for (QToolButton* button : {up_, down_}) {
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
  }
  auto* buttonLayout = new QVBoxLayout(buttons_);
  buttonLayout->setContentsMargins(0, 0, 0, 0);
  buttonLayout->setSpacing(0);
  buttonLayout->addWidget(up_);
  buttonLayout->addWidget(down_);
  buttons_->setFixedWidth(kButtonWidth);

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(edit_, 1);
  layout->addWidget(buttons_);
  edit_->setFixedHeight(kHeight);
  edit_->installEventFilter(this);

  ShowModel();
  model_.SetViewUpdate([this] { ShowModel(); });
  connect(edit_, &QLineEdit::textEdited, this, [this](const QString& text) {
    RunHandler(errors_, [&] { model_.SetText(text.toStdString()); });
  });
  connect(edit_, &QLineEdit::editingFinished, this,
          [this] { RunHandler(errors_, [&] { model_.CommitText(); }); });
  connect(up_, &QToolButton::clicked, this, [this] { StepBy(1); });
  connect(down_, &QToolButton::clicked, this, [this] { StepBy(-1); });
}

TSpinEditEx::~TSpinEditEx() {
  // The model may outlive the widget.
  model_.SetViewUpdate(nullptr);
  disconnect(edit_, nullptr, this, nullptr);
}

int TSpinEditEx::ButtonWdith() const {
  return buttons_ ? buttons_->width() : 0;
}

void TSpinEditEx::SetButtonWdith(int width) {
  if (buttons_) buttons_->setFixedWidth(std::max(0, width));
}

void TSpinEditEx::StepBy(int steps) {
  RunHandler(errors_, [&] {
    const int64_t next =
        static_cast<int64_t>(model_.Value()) + static_cast<int64_t>(model_.Increment()) * steps;
    model_.SetValue(static_cast<int32_t>(std::clamp<int64_t>(
        next, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max())));
  });
}

bool TSpinEditEx::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      StepBy(key == Qt::Key_Up ? 1 : -1);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TSpinEditEx::ShowModel() {
  const QString text = QString::fromStdString(model_.Text());
  if (edit_->text() != text) edit_->setText(text);
}

}  // namespace trellon
