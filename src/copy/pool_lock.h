// A worker's lock object on the pool's one lock. Every worker has its own;
// all of them lock the same mutex, which guards the pool's lists and every
// DirRef count.
#ifndef TARVIK_COPY_POOL_LOCK_H_
#define TARVIK_COPY_POOL_LOCK_H_

#include <mutex>

namespace tarvik {

class PoolLock {
 public:
  explicit PoolLock(std::mutex* mutex) : mutex_(mutex) {}
  std::mutex& mutex() { return *mutex_; }

 private:
  std::mutex* mutex_;
};

}  // namespace tarvik

#endif  // TARVIK_COPY_POOL_LOCK_H_
