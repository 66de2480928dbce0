#include "copy/engine_state.h"

#include <atomic>

#include "settings/copy_settings.h"

namespace tarvik {
namespace {

// Not read from the settings yet.
constexpr int32_t kChunkModeUnset = -1;

std::atomic<int32_t> chunk_mode{kChunkModeUnset};
std::atomic<bool> links_supported{true};
std::atomic<bool> banner_printed{false};
std::atomic<bool> run_start_stamped{false};

std::atomic_ref<int32_t> CompressModeRef() {
  return std::atomic_ref<int32_t>(Settings().compressMode);
}

}  // namespace

int32_t CurrentCompressMode() {
  return CompressModeRef().load(std::memory_order_relaxed);
}

bool SwitchCompressionToIgnore() {
  int32_t mode = CurrentCompressMode();
  while (mode != kCompressIgnore) {
    if (CompressModeRef().compare_exchange_weak(mode, kCompressIgnore, std::memory_order_relaxed))
      return true;
  }
  return false;
}

int32_t CurrentChunkMode() {
  int32_t mode = chunk_mode.load(std::memory_order_relaxed);
  if (mode != kChunkModeUnset)
    return mode;
  // The first caller takes the settings; a concurrent one sees its value.
  chunk_mode.compare_exchange_strong(mode, Settings().chunkMode, std::memory_order_relaxed);
  return chunk_mode.load(std::memory_order_relaxed);
}

bool SwitchChunkCopyOff() {
  int32_t mode = CurrentChunkMode();
  while (mode != 0) {
    if (chunk_mode.compare_exchange_weak(mode, 0, std::memory_order_relaxed))
      return true;
  }
  return false;
}

bool LinksSupported() {
  return links_supported.load(std::memory_order_relaxed);
}

void MarkLinksUnsupported() {
  links_supported.store(false, std::memory_order_relaxed);
}

bool ClaimBanner() {
  return !banner_printed.exchange(true);
}

bool ClaimRunStart() {
  return !run_start_stamped.exchange(true);
}

void ResetEngineState() {
  chunk_mode = kChunkModeUnset;
  links_supported = true;
  banner_printed = false;
  run_start_stamped = false;
}

}  // namespace tarvik
