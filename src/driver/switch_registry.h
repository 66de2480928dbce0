// The table-driven switch parser. Each switch is registered once with what it
// sets: a flag switch sets a 32-bit integer to 1, a value switch and a list
// switch hand their values to a handler. The parser only knows the grammar;
// what a switch means is decided by whoever registers it.
#ifndef TARVIK_DRIVER_SWITCH_REGISTRY_H_
#define TARVIK_DRIVER_SWITCH_REGISTRY_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// Receives the values of one occurrence of a switch and copies what it needs.
// Returns nullptr when the values are accepted, else a narrow error text.
using SwitchHandler = std::function<const char*(std::span<const std::wstring_view> values)>;

struct Switch {
  std::wstring name;  // without the '/'
  int32_t* flag = nullptr;
  SwitchHandler handler;
  int32_t maxValues = 0;  // > 0 only for a list switch

  bool IsFlag() const { return flag != nullptr; }
  bool IsValueSwitch() const { return handler != nullptr && maxValues == 0; }
};

class SwitchRegistry {
 public:
  // Each registration is ignored when its name is empty, its handler missing
  // or (for a list switch) maxValues is not positive.
  void RegisterFlagSwitch(std::wstring_view name, int32_t* flag);
  void RegisterValueSwitch(std::wstring_view name, SwitchHandler handler);
  void RegisterListSwitch(std::wstring_view name, int32_t maxValues, SwitchHandler handler);

  // Looks up an argument without its '/'. Names match without regard to
  // letter case; a value switch also matches "name:value", and then `value`
  // receives the part after the ':'.
  const Switch* FindSwitch(std::wstring_view text, std::optional<std::wstring_view>* value) const;

  // Applies every argument in order. On the first argument that is not a
  // known switch, lacks or has too many values, or is refused by its handler,
  // prints one message through LogText and returns false.
  bool ParseSwitches(std::span<const std::wstring> args) const;

  const std::vector<Switch>& switches() const { return switches_; }

 private:
  bool ParseOne(std::span<const std::wstring> args, size_t* index) const;

  std::vector<Switch> switches_;
};

}  // namespace tarvik

#endif  // TARVIK_DRIVER_SWITCH_REGISTRY_H_
