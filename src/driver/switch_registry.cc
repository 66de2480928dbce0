#include "driver/switch_registry.h"

#include "log/log.h"
#include "util/text.h"

namespace tarvik {
namespace {

bool IsSwitchArgument(std::wstring_view arg) {
  return !arg.empty() && arg[0] == L'/';
}

}  // namespace

void SwitchRegistry::RegisterFlagSwitch(std::wstring_view name, int32_t* flag) {
  if (name.empty() || flag == nullptr)
    return;
  *flag = 0;
  switches_.push_back(Switch{std::wstring(name), flag, nullptr, 0});
}

void SwitchRegistry::RegisterValueSwitch(std::wstring_view name, SwitchHandler handler) {
  if (name.empty() || !handler)
    return;
  switches_.push_back(Switch{std::wstring(name), nullptr, std::move(handler), 0});
}

void SwitchRegistry::RegisterListSwitch(std::wstring_view name, int32_t maxValues,
                                        SwitchHandler handler) {
  if (name.empty() || maxValues <= 0 || !handler)
    return;
  switches_.push_back(Switch{std::wstring(name), nullptr, std::move(handler), maxValues});
}

const Switch* SwitchRegistry::FindSwitch(std::wstring_view text,
                                         std::optional<std::wstring_view>* value) const {
  *value = std::nullopt;
  for (const Switch& candidate : switches_) {
    if (EqualsNoCaseAscii(text, candidate.name))
      return &candidate;
    const size_t length = candidate.name.size();
    if (candidate.IsValueSwitch() && text.size() > length && text[length] == L':' &&
        StartsWithNoCaseAscii(text, candidate.name)) {
      *value = text.substr(length + 1);
      return &candidate;
    }
  }
  return nullptr;
}

bool SwitchRegistry::ParseSwitches(std::span<const std::wstring> args) const {
  size_t index = 0;
  while (index < args.size()) {
    if (!ParseOne(args, &index))
      return false;
  }
  return true;
}

// Reads the switch at *index with its values and advances past them.
bool SwitchRegistry::ParseOne(std::span<const std::wstring> args, size_t* index) const {
  const std::wstring& arg = args[*index];
  if (!IsSwitchArgument(arg)) {
    LogText(L"%s argument is not an option.\n", arg);
    return false;
  }
  std::optional<std::wstring_view> inline_value;
  const Switch* found = FindSwitch(std::wstring_view(arg).substr(1), &inline_value);
  if (found == nullptr) {
    LogText(L" Unknown %s switch.\n", arg);
    return false;
  }
  ++*index;
  if (found->IsFlag()) {
    *found->flag = 1;
    return true;
  }

  std::vector<std::wstring_view> values;
  if (inline_value) {
    values.push_back(*inline_value);
  } else {
    while (*index < args.size() && !IsSwitchArgument(args[*index])) {
      values.push_back(args[*index]);
      ++*index;
    }
    if (values.empty()) {
      LogText(L" %s switch requires at least one argument.\n", arg);
      return false;
    }
    if (found->maxValues > 0 && values.size() > static_cast<size_t>(found->maxValues)) {
      LogText(L" %s switch requires at most %d argument(s).\n", arg, found->maxValues);
      return false;
    }
  }
  if (const char* error = found->handler(values)) {
    LogText(L" Syntax error in %s switch: %hs\n", arg, error);
    return false;
  }
  return true;
}

}  // namespace tarvik
