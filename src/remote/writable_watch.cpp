#include "remote/writable_watch.h"

#include <QObject>

namespace trellon {

WritableWatch::~WritableWatch() {
  if (!notifier_) return;
  // May be inside the notifier's own signal: it goes once control is back in the loop.
  notifier_->setEnabled(false);
  notifier_->deleteLater();
}

void WritableWatch::Start(qintptr descriptor, QObject* context,
                          const std::function<void()>& onWritable) {
  if (!notifier_) {
    notifier_ = new QSocketNotifier(descriptor, QSocketNotifier::Write, context);
    QObject::connect(notifier_, &QSocketNotifier::activated, context, onWritable);
  }
  notifier_->setEnabled(true);
}

void WritableWatch::Stop() {
  if (notifier_) notifier_->setEnabled(false);
}

}  // namespace trellon
