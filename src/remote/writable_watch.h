#pragma once

#include <QPointer>
#include <QSocketNotifier>
#include <functional>

class QObject;

namespace trellon {

// Watches one client's socket for room to write what it has not taken yet. The notifier is made
// on first use as a child of the server's context object, and goes with the watch; the watch may
// end inside the notifier's own signal.
class WritableWatch {
 public:
  WritableWatch() = default;
  WritableWatch(const WritableWatch&) = delete;
  WritableWatch& operator=(const WritableWatch&) = delete;
  ~WritableWatch();

  void Start(qintptr descriptor, QObject* context, const std::function<void()>& onWritable);
  void Stop();

 private:
  QPointer<QSocketNotifier> notifier_;
};

}  // namespace trellon
