// World files: JSON text from outside, checked key by key. Whatever the text,
// the loader answers with a world or with one message naming the key at
// fault, and a world it accepts once is accepted again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/world_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  tarvik::World base;
  tarvik::World world;
  std::wstring error;
  bool loaded = tarvik::ParseWorld(text, "fuzz.json", "/nonexistent", base, &world, &error);
  if (!loaded && error.empty())
    std::abort();  // a refusal always says why
  if (loaded && !error.empty())
    std::abort();
  return 0;
}
