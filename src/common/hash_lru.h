// A table of values by key with a fixed number of entries: when it is full,
// the entry inserted longest ago is given up. HashLru is the interface;
// HashLruFixed allocates its nodes and buckets once, so that no look-up and no
// insertion allocates. Not thread-safe: its owner locks.
//
// Keys hash through HashLruTraits<T>::Hash and compare through
// HashLruTraits<T>::Equal, which raise for values that cannot be keys.
#ifndef TARVIK_COMMON_HASH_LRU_H_
#define TARVIK_COMMON_HASH_LRU_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace tarvik {

template <typename T>
struct HashLruTraits;

template <typename T>
class HashLru {
 public:
  struct Iterator {
    size_t bucket = 0;
    const void* node = nullptr;
  };

  virtual ~HashLru() = default;
  // Stores value, taking it over. Unless allow_duplicate, a stored equal
  // value refuses the insertion: false, and value stays with the caller.
  // When the table is full the value inserted longest ago is given up and
  // handed back in *evicted.
  virtual bool Insert(std::unique_ptr<T>& value, std::unique_ptr<T>* evicted,
                      bool allow_duplicate) = 0;
  // Takes the stored value equal to key out of the table.
  virtual std::unique_ptr<T> Remove(const T& key) = 0;
  virtual T* Find(const T& key) = 0;
  virtual void Clear() = 0;
  // Every value, bucket by bucket.
  virtual T* First(Iterator* it) = 0;
  virtual T* Next(Iterator* it) = 0;

  uint32_t items = 0;
  uint32_t hits = 0;
  uint32_t misses = 0;
  uint32_t collisionsNow = 0;
  uint32_t collisions = 0;
  uint32_t hashOk = 0;
  uint32_t comparisons = 0;
};

template <typename T>
class HashLruFixed : public HashLru<T> {
 public:
  using typename HashLru<T>::Iterator;

  // The nodes and buckets are allocated here (std::bad_alloc when they
  // cannot be). Nodes are set up only as values arrive: a run that looks
  // nothing up does not pay for touching the whole table.
  explicit HashLruFixed(uint32_t capacity) : capacity_(capacity), buckets_(capacity, nullptr) {
    nodes_.reserve(capacity);
    Clear();
  }

  uint32_t capacity() const { return capacity_; }

  bool Insert(std::unique_ptr<T>& value, std::unique_ptr<T>* evicted,
              bool allow_duplicate) override {
    evicted->reset();
    const size_t bucket = BucketOf(*value);
    if (!allow_duplicate && FindIn(bucket, *value) != nullptr)
      return false;
    Node* node = free_;
    if (node != nullptr) {
      free_ = node->next_free;
    } else if (nodes_.size() < capacity_) {
      node = &nodes_.emplace_back();  // within the reserve: no node moves
    } else {
      node = oldest_;
      UnlinkFromBucket(node);
      UnlinkFromAge(node);
      --this->items;
      *evicted = std::move(node->value);
    }
    node->value = std::move(value);
    node->bucket = bucket;
    node->chain_prev = nullptr;
    node->chain_next = buckets_[bucket];
    if (buckets_[bucket] != nullptr) {
      buckets_[bucket]->chain_prev = node;
      ++this->collisionsNow;
      ++this->collisions;
    } else {
      ++this->hashOk;
    }
    buckets_[bucket] = node;
    ++this->items;
    node->older = newest_;
    node->newer = nullptr;
    if (newest_ != nullptr)
      newest_->newer = node;
    newest_ = node;
    if (oldest_ == nullptr)
      oldest_ = node;
    return true;
  }

  std::unique_ptr<T> Remove(const T& key) override {
    Node* node = FindIn(BucketOf(key), key);
    if (node == nullptr)
      return nullptr;
    UnlinkFromBucket(node);
    UnlinkFromAge(node);
    node->next_free = free_;
    free_ = node;
    --this->items;
    return std::move(node->value);
  }

  T* Find(const T& key) override {
    if (this->items == 0) {
      ++this->misses;
      return nullptr;
    }
    Node* node = FindIn(BucketOf(key), key);
    if (node == nullptr) {
      ++this->misses;
      return nullptr;
    }
    ++this->hits;
    return node->value.get();
  }

  void Clear() override {
    free_ = nullptr;
    nodes_.clear();
    std::fill(buckets_.begin(), buckets_.end(), nullptr);
    newest_ = oldest_ = nullptr;
    this->items = this->hits = this->misses = 0;
    this->collisionsNow = this->collisions = this->hashOk = this->comparisons = 0;
  }

  T* First(Iterator* it) override {
    it->bucket = 0;
    it->node = nullptr;
    return Advance(it);
  }

  T* Next(Iterator* it) override {
    const Node* node = static_cast<const Node*>(it->node);
    if (node != nullptr && node->chain_next != nullptr) {
      it->node = node->chain_next;
      return node->chain_next->value.get();
    }
    if (node != nullptr)
      ++it->bucket;
    it->node = nullptr;
    return Advance(it);
  }

 private:
  struct Node {
    std::unique_ptr<T> value;
    size_t bucket = 0;
    Node* newer = nullptr;
    Node* older = nullptr;
    Node* chain_prev = nullptr;
    Node* chain_next = nullptr;
    Node* next_free = nullptr;
  };

  size_t BucketOf(const T& key) const { return HashLruTraits<T>::Hash(key) % capacity_; }

  Node* FindIn(size_t bucket, const T& key) {
    for (Node* node = buckets_[bucket]; node != nullptr; node = node->chain_next) {
      ++this->comparisons;
      if (HashLruTraits<T>::Equal(*node->value, key))
        return node;
    }
    return nullptr;
  }

  // The first value from it->bucket on.
  T* Advance(Iterator* it) {
    for (; it->bucket < buckets_.size(); ++it->bucket) {
      if (buckets_[it->bucket] != nullptr) {
        it->node = buckets_[it->bucket];
        return buckets_[it->bucket]->value.get();
      }
    }
    return nullptr;
  }

  void UnlinkFromBucket(Node* node) {
    if (node->chain_prev != nullptr || node->chain_next != nullptr)
      --this->collisionsNow;
    if (node->chain_prev != nullptr)
      node->chain_prev->chain_next = node->chain_next;
    else
      buckets_[node->bucket] = node->chain_next;
    if (node->chain_next != nullptr)
      node->chain_next->chain_prev = node->chain_prev;
  }

  void UnlinkFromAge(Node* node) {
    if (node->newer != nullptr)
      node->newer->older = node->older;
    else
      newest_ = node->older;
    if (node->older != nullptr)
      node->older->newer = node->newer;
    else
      oldest_ = node->newer;
  }

  uint32_t capacity_;
  std::vector<Node> nodes_;  // reserved for capacity_, filled as needed
  std::vector<Node*> buckets_;
  Node* newest_ = nullptr;
  Node* oldest_ = nullptr;
  Node* free_ = nullptr;
};

}  // namespace tarvik

#endif  // TARVIK_COMMON_HASH_LRU_H_
