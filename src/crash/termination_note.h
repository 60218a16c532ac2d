#pragma once

namespace trellon {

// Whether the terminate path has already put an unhandled C++ exception into the log: the abort
// that follows it then needs no report of its own. Any thread; safe in a signal handler.
void NoteTerminationReported();
bool TerminationReported();

}  // namespace trellon
