// Anonymous memory the program asks for directly (VirtualAlloc), as host
// mappings.
//
// Data buffers of a megabyte and more get a region aligned to the host's
// large page and the advice to back it with large pages: a copy through such
// a buffer runs about twice as fast as through small pages, which the many
// small pages of a megabyte spend on address translation and cache misses.
#ifndef TARVIK_PLATFORM_POSIX_MEMORY_MAPPINGS_H_
#define TARVIK_PLATFORM_POSIX_MEMORY_MAPPINGS_H_

#include <cstddef>
#include <mutex>
#include <unordered_map>

namespace tarvik {

class MemoryMappings {
 public:
  MemoryMappings() = default;
  ~MemoryMappings();  // unmaps what was not released
  MemoryMappings(const MemoryMappings&) = delete;
  MemoryMappings& operator=(const MemoryMappings&) = delete;

  // Zeroed read-write memory of at least size bytes (not 0), or null with
  // errno set.
  void* Allocate(size_t size);
  // False when address is not one Allocate gave and that is still held.
  bool Release(void* address);

 private:
  struct Mapping {
    void* base;
    size_t size;
  };

  std::mutex mutex_;
  std::unordered_map<void*, Mapping> mappings_;  // by the address handed out
};

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_MEMORY_MAPPINGS_H_
