#include "support/qt_events.h"

#include <QCoreApplication>

namespace trellon::test_support {

void ProcessQtEvents() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

}  // namespace trellon::test_support
