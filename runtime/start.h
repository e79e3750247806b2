// Start and end of a shipping file: its static constructors, its exit list, its fatal end.
#pragma once

namespace runtime {

// Runs the static constructors in the order MinGW's start-up runs them.
void RunConstructors();
// Runs what atexit and the constructors registered, the last first (the static destructors).
void RunExitList();
// Ends the process at once with exit code 3, as abort does: for what cannot go on (no memory).
[[noreturn]] void FatalEnd();

}  // namespace runtime
