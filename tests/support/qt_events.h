#pragma once

// The Qt side of the shared waits: kept apart so that suites without an event loop link no Qt.

namespace trellon::test_support {

// Runs the events of the calling thread's event loop that are due; a pump for WaitFor.
void ProcessQtEvents();

}  // namespace trellon::test_support
