#include "platform/posix/memory_mappings.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace tarvik {
namespace {

constexpr size_t kLargePage = 2u << 20;
// From this size on a buffer is worth a large page of its own.
constexpr size_t kLargePageThreshold = 1u << 20;

size_t RoundUp(size_t value, size_t unit) {
  return (value + unit - 1) / unit * unit;
}

}  // namespace

MemoryMappings::~MemoryMappings() {
  for (const auto& [address, mapping] : mappings_)
    ::munmap(mapping.base, mapping.size);
}

void* MemoryMappings::Allocate(size_t size) {
  if (size == 0 || size > SIZE_MAX / 2) {
    errno = EINVAL;
    return nullptr;
  }
  const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  const bool large = size >= kLargePageThreshold;
  const size_t length = large ? RoundUp(size, kLargePage) : RoundUp(size, page);
  // A large region is mapped with one large page of slack, so that an aligned
  // start can be cut out of it.
  const size_t mapped = large ? length + kLargePage : length;
  void* base = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED)
    return nullptr;
  void* address = base;
  if (large) {
    const uintptr_t start = RoundUp(reinterpret_cast<uintptr_t>(base), kLargePage);
    address = reinterpret_cast<void*>(start);
    // Only advice: a host without large pages serves small ones.
    ::madvise(address, length, MADV_HUGEPAGE);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  mappings_[address] = Mapping{base, mapped};
  return address;
}

bool MemoryMappings::Release(void* address) {
  Mapping mapping;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = mappings_.find(address);
    if (found == mappings_.end())
      return false;
    mapping = found->second;
    mappings_.erase(found);
  }
  ::munmap(mapping.base, mapping.size);
  return true;
}

}  // namespace tarvik
