#include "app/qt_message_box_presenter.h"

#include <QMessageBox>
#include <QString>

namespace trellon {
namespace {

void Show(QMessageBox::Icon icon, const std::string& caption, const std::string& text) {
  // No parent: the box is centred on the screen, also while the main window is hidden.
  QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Ok);
  box.exec();
}

}  // namespace

void QtMessageBoxPresenter::ShowErrorBox(const std::string& caption, const std::string& text) {
  Show(QMessageBox::Critical, caption, text);
}

void QtMessageBoxPresenter::ShowMessageBox(const std::string& caption, const std::string& text) {
  Show(QMessageBox::NoIcon, caption, text);
}

}  // namespace trellon
