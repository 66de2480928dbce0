// The account names a run looked up and found missing, so that each is
// looked up, and its failure logged, once per run however many entries and
// workers name it. Shared by the workers; it locks itself.
#ifndef TARVIK_TRANSLATE_MISSING_NAMES_H_
#define TARVIK_TRANSLATE_MISSING_NAMES_H_

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace tarvik {

class MissingNames {
 public:
  // False at once when name (in any letter case) was found missing before.
  // Otherwise runs lookup, which answers whether the name is missing, and
  // returns true when it is not. Lookups of one name take turns, so that a
  // second worker waits for the first one's answer instead of asking (and
  // logging) again.
  bool Lookup(const std::wstring& name, const std::function<bool()>& lookup);

 private:
  struct Entry {
    std::mutex lock;
    bool missing = false;
  };

  std::mutex lock_;
  std::unordered_map<std::wstring, std::shared_ptr<Entry>> entries_;
};

}  // namespace tarvik

#endif  // TARVIK_TRANSLATE_MISSING_NAMES_H_
