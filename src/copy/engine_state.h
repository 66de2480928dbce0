// The few process-wide flags of the copy engine. Each is written by any
// worker at most once in a run (or by the driver before the start) and read
// by all of them without a lock.
#ifndef TARVIK_COPY_ENGINE_STATE_H_
#define TARVIK_COPY_ENGINE_STATE_H_

#include <cstdint>

namespace tarvik {

// The compression mode of the run (compressMode), which the engine switches
// to ignore once when a target volume refuses compression. Returns true for
// the one call that made the switch, so that the warning is printed once.
int32_t CurrentCompressMode();
bool SwitchCompressionToIgnore();

// The chunk mode of the run: kChunkModeServerCopy while the data of a copy
// between two shares of one server is copied by the server itself, 0 once
// that is turned off for the rest of the run (the two roots lie on different
// servers, or the server does not offer it). Starts as the settings'
// chunkMode, read at the first call after a reset.
constexpr int32_t kChunkModeServerCopy = 2;
int32_t CurrentChunkMode();
// Returns true for the one call that turned it off, so that the warning is
// printed once.
bool SwitchChunkCopyOff();

// False once reparse points proved unsupported on a volume (every later link
// copy then fails at once).
bool LinksSupported();
void MarkLinksUnsupported();

// True for the first caller only: the processing banner is printed once.
bool ClaimBanner();

// True for the first caller only: the run start is stamped by the first wake.
bool ClaimRunStart();

// Back to the state of a new process, between tests and runs.
void ResetEngineState();

}  // namespace tarvik

#endif  // TARVIK_COPY_ENGINE_STATE_H_
