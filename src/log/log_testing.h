// Hooks for tests of the log system and of code that logs. Not used by the
// program itself.
#ifndef TARVIK_LOG_LOG_TESTING_H_
#define TARVIK_LOG_LOG_TESTING_H_

#include <chrono>

namespace tarvik {

// Stops the log system if it runs and returns it to the state before
// CreateLogSystem: no file, no console handle, empty banner, no worker hook.
void ResetLogSystemForTesting();

// The largest pending count seen since the last reset, and the current one.
int MaxPendingLogMessagesForTesting();
int PendingLogMessagesForTesting();

// The length of one of StopLogSystem's waiting steps (one second normally).
void SetStopWaitStepForTesting(std::chrono::milliseconds step);

// Waits until every writer abandoned by StopLogSystem has ended, so that a
// test may take its Os away. False when one is still running after timeout.
bool WaitForAbandonedLogWritersForTesting(std::chrono::milliseconds timeout);

}  // namespace tarvik

#endif  // TARVIK_LOG_LOG_TESTING_H_
