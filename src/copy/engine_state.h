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

// False once reparse points proved unsupported on a volume (every later link
// copy then fails at once).
bool LinksSupported();
void MarkLinksUnsupported();

// True for the first caller only: the processing banner is printed once.
bool ClaimBanner();

// True for the first caller only: the run start is stamped by the first wake.
bool ClaimRunStart();

// True for the first caller only: a notice printed once per run.
bool ClaimSecurityNotice();

// Back to the state of a new process, between tests and runs.
void ResetEngineState();

}  // namespace tarvik

#endif  // TARVIK_COPY_ENGINE_STATE_H_
