#include "translate/missing_names.h"

#include "util/text.h"

namespace tarvik {

bool MissingNames::Lookup(const std::wstring& name, const std::function<bool()>& lookup) {
  std::shared_ptr<Entry> entry;
  {
    std::lock_guard guard(lock_);
    std::shared_ptr<Entry>& slot = entries_[ToUpperAscii(name)];
    if (slot == nullptr)
      slot = std::make_shared<Entry>();
    entry = slot;
  }
  std::lock_guard guard(entry->lock);
  if (entry->missing)
    return false;
  entry->missing = lookup();
  return !entry->missing;
}

}  // namespace tarvik
