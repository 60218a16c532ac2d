#include "crash/termination_note.h"

#include <atomic>

namespace trellon {
namespace {

std::atomic<bool> terminationReported{false};
static_assert(std::atomic<bool>::is_always_lock_free);

}  // namespace

void NoteTerminationReported() {
  terminationReported.store(true);
}

bool TerminationReported() {
  return terminationReported.load();
}

}  // namespace trellon
