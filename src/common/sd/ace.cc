#include "common/sd/ace.h"

#include <algorithm>

#include "common/sd/ace_text.h"
#include "common/sd/sd_exception.h"

namespace tarvik {
namespace {

constexpr uint8_t kLastObjectType = 16;

uint16_t U16At(AceBytes ace, size_t offset) {
  return offset + 2 <= ace.size() ? static_cast<uint16_t>(ace[offset] | (ace[offset + 1] << 8)) : 0;
}

void PutU32(std::vector<uint8_t>* out, uint32_t value) {
  for (int i = 0; i < 4; ++i)
    out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

Ace::Ace() {
  bytes_.reserve(kInitialCapacity);
}

void Ace::CopyFrom(AceBytes raw) {
  const size_t size = AceSize(raw);
  if (size < kAceHeaderSize || size > raw.size())
    throw SDException(L"Invalid ACE", 1);
  bytes_.assign(raw.begin(), raw.begin() + size);
}

SidBytes Ace::Sid() const {
  std::optional<size_t> offset = AceSidOffset(bytes_);
  if (!offset || *offset >= bytes_.size())
    return {};
  return SidBytes(bytes_).subspan(*offset);
}

bool Ace::Parse(Parts* parts) const {
  parts->type = type();
  parts->flags = flags();
  parts->mask = 0;
  parts->sid = {};
  std::optional<size_t> offset = AceSidOffset(bytes_);
  if (!offset)
    return false;
  const size_t size = std::min<size_t>(this->size(), bytes_.size());
  if (*offset >= size)
    throw SDException(L"Invalid ACE");
  SidBytes sid = SidBytes(bytes_).subspan(*offset, size - *offset);
  if (!IsValidSid(sid) || GetLengthSid(sid) > sid.size())
    throw SDException(L"Invalid ACE");
  parts->mask = mask();
  parts->sid = sid.first(GetLengthSid(sid));
  return true;
}

void Ace::Build(SidBytes sid, uint32_t mask, uint8_t flags, uint8_t type, AceBytes object_source) {
  if (type > kLastObjectType)
    return;
  std::vector<uint8_t> object_part;
  if (IsObjectAceType(type)) {
    std::optional<size_t> end = AceSidOffset(object_source);
    if (end && *end <= object_source.size())
      object_part.assign(object_source.begin() + 8, object_source.begin() + *end);
    else
      object_part.assign(4, 0);  // no object part to keep: object flags 0
  }
  const size_t sid_length = GetLengthSid(sid);
  const size_t size = 8 + object_part.size() + sid_length;
  bytes_.clear();
  bytes_.push_back(type);
  bytes_.push_back(flags);
  bytes_.push_back(static_cast<uint8_t>(size));
  bytes_.push_back(static_cast<uint8_t>(size >> 8));
  PutU32(&bytes_, mask);
  bytes_.insert(bytes_.end(), object_part.begin(), object_part.end());
  bytes_.insert(bytes_.end(), sid.begin(), sid.begin() + sid_length);
}

bool Ace::Equals(const Ace& other) const {
  if (empty() || other.empty() || size() != other.size())
    return false;
  if (type() == kVendorUnixAttr64AaAce && other.type() == kVendorUnixAttr64AaAce) {
    // The link count and what follows it change without the ACE meaning
    // anything else.
    return flags() == other.flags() && AceUint32(bytes_, 4) == AceUint32(other.bytes_, 4) &&
           AceUint32(bytes_, 8) == AceUint32(other.bytes_, 8) &&
           U16At(bytes_, 12) == U16At(other.bytes_, 12) &&
           U16At(bytes_, 14) == U16At(other.bytes_, 14);
  }
  return bytes_ == other.bytes_;
}

bool Ace::SameTypeAndSid(const Ace& other) const {
  return !empty() && !other.empty() && type() == other.type() && EqualSid(Sid(), other.Sid());
}

}  // namespace tarvik
