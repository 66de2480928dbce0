// The process-wide abort request. Ctrl-C, a disk-full abort or a critical
// error asks for it once; every copy loop, wait and walk polls it and unwinds.
#ifndef TARVIK_UTIL_ABORT_H_
#define TARVIK_UTIL_ABORT_H_

#include <functional>

namespace tarvik {

// Sets the abort flag. The first call runs every registered callback once,
// in the order of registration; later calls do nothing. Safe from any thread;
// the callbacks must be safe there too (the interrupt path only sets a flag
// and lets a watcher thread call this).
void RequestAbort();

// Read without a lock by every thread.
bool AbortRequested();

// Registered before any worker starts.
void AddAbortCallback(std::function<void()> callback);

// Clears the flag and the callbacks between tests.
void ResetAbortForTesting();

}  // namespace tarvik

#endif  // TARVIK_UTIL_ABORT_H_
