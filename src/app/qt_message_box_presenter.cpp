#include "app/qt_message_box_presenter.h"

#include <QMessageBox>
#include <QString>
#include <algorithm>

namespace trellon {

QtMessageBoxPresenter::~QtMessageBoxPresenter() {
  for (const QPointer<QMessageBox>& box : openBoxes_) {
    if (box.isNull()) continue;
    QObject::disconnect(box, nullptr, nullptr, nullptr);
    delete box.data();
  }
}

void QtMessageBoxPresenter::OpenErrorBox(const std::string& caption, const std::string& text,
                                         std::function<void()> onClosed) {
  // No parent: the box is centred on the screen, also while the main window is hidden. Shown
  // modal to the application but without exec(): a nested loop inside a timer's handler would
  // keep Qt from firing that timer again until the box is closed.
  auto* box = new QMessageBox(QMessageBox::Critical, QString::fromStdString(caption),
                              QString::fromStdString(text), QMessageBox::Ok);
  box->setWindowModality(Qt::ApplicationModal);
  QObject::connect(box, &QDialog::finished, box, [box, onClosed = std::move(onClosed)] {
    box->deleteLater();
    if (onClosed) onClosed();
  });
  std::erase_if(openBoxes_, [](const QPointer<QMessageBox>& open) { return open.isNull(); });
  openBoxes_.emplace_back(box);
  box->show();
}

void QtMessageBoxPresenter::ShowMessageBox(const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Ok);
  box.exec();
}

}  // namespace trellon
