#pragma once

#include <cstdint>

namespace trellon {

// What a frame does with an exception that passes the call it made, as the compiler's
// exception table of the function says (the language-specific data of the C++ ABI).
enum class FrameHandling {
  None,        // nothing: the exception passes through
  Cleanup,     // destructors only; the frame does not examine the exception
  Examines,    // catch clauses or a throw(...) list look at the exception
  Terminates,  // the call may not throw (noexcept): the exception ends the program here
};

// Reads the table at `table` for the call whose instruction is at `instruction` (one byte before
// the return address), in the function that starts at `functionStart`. A table in an encoding
// this reader does not know gives None, so such a frame is never reported.
FrameHandling ClassifyCallSite(const uint8_t* table, uintptr_t functionStart,
                               uintptr_t instruction);

}  // namespace trellon
