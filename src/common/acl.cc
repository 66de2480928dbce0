#include "common/acl.h"

#include <algorithm>
#include <array>

#include "common/sd/sd_exception.h"
#include "log/log.h"
#include "log/message_text.h"
#include "settings/copy_settings.h"
#include "util/format.h"

namespace tarvik {
namespace {

constexpr uint8_t kLastAccessType = 8;

bool IsDeny(const Ace& ace) {
  return ace.type() == ACCESS_DENIED_ACE_TYPE || ace.type() == ACCESS_DENIED_OBJECT_ACE_TYPE;
}

bool IsInherited(const Ace& ace) {
  return (ace.flags() & INHERITED_ACE) != 0;
}

// The OR of the flags and of the mapped masks of a group of entries, per
// audit class: plain, successful-access, failed-access.
struct Rights {
  std::array<uint32_t, 3> flags{};
  std::array<uint32_t, 3> masks{};

  void Add(const Ace& ace) {
    const uint8_t flags_value = ace.flags();
    size_t kind = 0;
    if (flags_value & SUCCESSFUL_ACCESS_ACE_FLAG)
      kind = 1;
    else if (flags_value & FAILED_ACCESS_ACE_FLAG)
      kind = 2;
    flags[kind] |= flags_value;
    masks[kind] |= MapGenericFileRights(ace.mask());
  }
  bool operator==(const Rights&) const = default;
};

std::vector<Ace> Entries(const Acl& acl) {
  std::vector<Ace> entries(acl.count());
  for (uint32_t i = 0; i < acl.count(); ++i)
    acl.GetAce(i, &entries[i]);
  return entries;
}

}  // namespace

void OrderCanonically(AceList* list) {
  for (auto q = list->begin(); q != list->end();) {
    auto next = std::next(q);
    if (q->empty() || q->type() > kLastAccessType) {
      q = next;
      continue;
    }
    // The mark is a position: end() stands for "none" (before the front).
    auto none = list->end();
    auto back = [&](AceList::iterator it) { return it == list->begin() ? none : std::prev(it); };
    auto predecessor = back(q);
    auto mark = predecessor;
    while (mark != none && (mark->empty() || mark->type() > kLastAccessType))
      mark = back(mark);
    // Entries of other types between q and its nearest access entry do not
    // make q move: only a mark moved by the rules below does.
    const auto nearest = mark;
    if (!IsInherited(*q)) {
      while (mark != none && IsInherited(*mark))
        mark = back(mark);
    }
    if (IsDeny(*q)) {
      while (mark != none && !IsDeny(*mark) && !(IsInherited(*q) && !IsInherited(*mark)))
        mark = back(mark);
    }
    if (mark != nearest)
      list->splice(mark == none ? list->begin() : std::next(mark), *list, q);
    q = next;
  }
}

void Acl::Attach(std::span<uint8_t> acl, int32_t present, int32_t defaulted) {
  acl_ = acl;
  present_ = present;
  defaulted_ = defaulted;
  count_ = AclAceCount(acl);
  revision_ = AclRevision(acl);
  size_ = AclSize(acl);
}

void Acl::GetAce(uint32_t index, Ace* ace) const {
  std::optional<AceBytes> raw = tarvik::GetAce(acl_, index);
  if (!raw)
    throw SDException(Format(L"Unable to get this ace %d", index).substr(0, 254));
  ace->CopyFrom(*raw);
}

bool Acl::ContainsTypeAndSid(const Ace& ace) const {
  Ace entry;
  for (uint32_t i = 0; i < count_; ++i) {
    std::optional<AceBytes> raw = tarvik::GetAce(acl_, i);
    if (!raw)
      return false;
    entry.CopyFrom(*raw);
    if (entry.SameTypeAndSid(ace))
      return true;
  }
  return false;
}

void Acl::Clear() {
  for (uint32_t i = 0; i < count_; ++i)
    DeleteAce(acl_, 0);
  acl_ = {};
  count_ = 0;
  size_ = 0;
  revision_ = kAclRevision;
}

void Acl::Set(AceList* list) {
  OrderCanonically(list);
  size_t size = kAclHeaderSize;
  for (const Ace& ace : *list)
    size += ace.size();
  // An ACL holds at most 64 KiB: the entry that does not fit fails to be
  // added, as any other entry the ACL refuses.
  const size_t room = std::min(size, kMaxAclSize);
  if (buffer_.size() < room)
    buffer_.resize(room);
  if (!InitializeAcl(std::span<uint8_t>(buffer_).first(room), room, kAclRevision))
    throw SDException(L"InitializeAcl fail");
  count_ = 0;
  for (const Ace& ace : *list) {
    // Object entries need the directory-service revision of the ACL.
    const uint8_t revision = IsObjectAceType(ace.type()) ? kAclRevisionDs : kAclRevision;
    if (!AddAce(std::span<uint8_t>(buffer_).first(room), revision, kAppendAce, ace.bytes())) {
      if (Settings().debugSecurity)
        TraceInsertionFailure(*list, count_, size);
      throw SDException(L"AddAce fail\n");
    }
    ++count_;
  }
  acl_ = std::span<uint8_t>(buffer_).first(size);
  revision_ = AclRevision(acl_);
  size_ = static_cast<uint32_t>(size);
  present_ = 1;
}

void Acl::TraceInsertionFailure(const AceList& list, uint32_t failed, size_t size) const {
  LogLastError(L"%s", L"ACE insertion failure");
  std::wstring text = Format(L"Acl::Set : ACLbuf size : %d : ACEs total size :  %d",
                             static_cast<int>(size), static_cast<int>(size - kAclHeaderSize));
  text += HexDumpText(buffer_.data(), kAclHeaderSize, L"\nACL obj");
  size_t used = kAclHeaderSize;
  uint32_t index = 0;
  for (const Ace& ace : list) {
    used += ace.size();
    const wchar_t* title =
        index == failed ? L"\nfailed inserted ACE Obj : ACE size = %d , ACLbuf used size : %d"
                        : L"\nACE Obj : ACE size = %d , ACLbuf used size : %d";
    text +=
        HexDumpText(ace.bytes().data(), ace.size(),
                    Format(title, static_cast<int>(ace.size()), static_cast<int>(used)).c_str());
    ++index;
  }
  LogText(L"%s", text);
}

void Acl::CopyPresence(const Acl& from) {
  present_ = from.present_;
  defaulted_ = from.defaulted_;
  if (!from.present_ || !from.has_acl())
    acl_ = {};
}

bool Acl::EqualAsSet(const Acl& other) const {
  if (count_ != other.count_)
    return false;
  std::vector<Ace> mine = Entries(*this);
  std::vector<Ace> theirs = Entries(other);
  std::vector<bool> matched(theirs.size(), false);
  for (const Ace& ace : mine) {
    bool found = false;
    for (size_t j = 0; j < theirs.size() && !found; ++j) {
      if (!matched[j] && ace.Equals(theirs[j]))
        matched[j] = found = true;
    }
    if (!found)
      return false;
  }
  return true;
}

bool Acl::Equivalent(const Acl& other) const {
  std::vector<Ace> mine = Entries(*this);
  std::vector<Ace> theirs = Entries(other);
  std::vector<bool> mine_seen(mine.size(), false);
  std::vector<bool> theirs_seen(theirs.size(), false);
  for (size_t i = 0; i < mine.size(); ++i) {
    if (mine_seen[i])
      continue;
    const Ace& a = mine[i];
    if (a.type() <= kLastAccessType) {
      Rights here, there;
      for (size_t k = i; k < mine.size(); ++k) {
        if (!mine_seen[k] && (k == i || mine[k].SameTypeAndSid(a))) {
          mine_seen[k] = true;
          here.Add(mine[k]);
        }
      }
      for (size_t k = 0; k < theirs.size(); ++k) {
        if (!theirs_seen[k] && theirs[k].SameTypeAndSid(a)) {
          theirs_seen[k] = true;
          there.Add(theirs[k]);
        }
      }
      if (here != there)
        return false;
      continue;
    }
    mine_seen[i] = true;
    bool type_present = false;
    bool matched = false;
    for (size_t k = 0; k < theirs.size() && !matched; ++k) {
      if (theirs[k].type() != a.type())
        continue;
      type_present = true;
      if (!theirs_seen[k] && a.Equals(theirs[k]))
        theirs_seen[k] = matched = true;
    }
    if (type_present && !matched)
      return false;
  }
  return true;
}

}  // namespace tarvik
