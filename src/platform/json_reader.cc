#include "platform/json_reader.h"

#include <algorithm>
#include <set>
#include <vector>

#include "util/utf.h"

namespace tarvik {
namespace {

bool IsPlainKey(const std::string& key) {
  return !key.empty() && std::all_of(key.begin(), key.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

// Follows the parse to find a key given twice in one object.
class DuplicateKeyWatcher {
 public:
  static constexpr size_t kMaxDepth = 32;

  bool operator()(int depth, Json::parse_event_t event, Json& parsed) {
    switch (event) {
      case Json::parse_event_t::object_start:
      case Json::parse_event_t::array_start:
        // No world nests this deep; a text that does is not one, and its
        // values would cost memory out of all proportion.
        if (frames_.size() >= kMaxDepth)
          FailAt(CurrentPath(), "nested deeper than " + std::to_string(kMaxDepth) + " levels");
        frames_.push_back({event == Json::parse_event_t::array_start, 0, {}, {}});
        break;
      case Json::parse_event_t::key: {
        Frame& top = frames_.back();
        top.key = parsed.get<std::string>();
        if (!top.keys.insert(top.key).second)
          FailAt(CurrentPath(), "duplicate key");
        break;
      }
      case Json::parse_event_t::value:
        ElementDone();
        break;
      case Json::parse_event_t::object_end:
      case Json::parse_event_t::array_end:
        frames_.pop_back();
        ElementDone();
        break;
    }
    return true;
  }

 private:
  struct Frame {
    bool is_array;
    size_t count;  // elements of an array completed so far
    std::string key;
    std::set<std::string> keys;
  };

  void ElementDone() {
    if (!frames_.empty() && frames_.back().is_array)
      ++frames_.back().count;
  }

  std::string CurrentPath() const {
    std::string path;
    for (const Frame& frame : frames_) {
      path = frame.is_array ? ElementPath(path, frame.count) : ChildPath(path, frame.key);
    }
    return path;
  }

  std::vector<Frame> frames_;
};

}  // namespace

void FailAt(const std::string& path, const std::string& message) {
  throw JsonError(path, message);
}

std::string ChildPath(const std::string& path, const std::string& key) {
  std::string shown = IsPlainKey(key) ? key : Json(key).dump();
  return path.empty() ? shown : path + "." + shown;
}

std::string ElementPath(const std::string& path, size_t index) {
  return path + "[" + std::to_string(index) + "]";
}

std::string Described(const Json& value) {
  switch (value.type()) {
    case Json::value_t::object:
      return "an object";
    case Json::value_t::array:
      return "an array";
    case Json::value_t::string:
      return "a string";
    case Json::value_t::boolean:
      return "a boolean";
    case Json::value_t::null:
      return "null";
    default:
      return "a number";
  }
}

std::string Quoted(std::wstring_view text) {
  return "\"" + ToUtf8(text) + "\"";
}

Json ParseJsonStrict(std::string_view text) {
  DuplicateKeyWatcher watcher;
  return Json::parse(text.begin(), text.end(),
                     [&watcher](int depth, Json::parse_event_t event, Json& parsed) {
                       return watcher(depth, event, parsed);
                     });
}

JsonObject::JsonObject(const Json& value, std::string path,
                       std::initializer_list<const char*> allowed)
    : value_(value), path_(std::move(path)) {
  if (!value.is_object())
    FailAt(path_, "expected an object, found " + Described(value));
  for (const auto& item : value.items()) {
    const std::string& key = item.key();
    bool known =
        std::any_of(allowed.begin(), allowed.end(), [&](const char* name) { return key == name; });
    if (known)
      continue;
    std::string expected;
    for (const char* name : allowed)
      expected += (expected.empty() ? "" : ", ") + std::string(name);
    FailAt(ChildPath(path_, key), "unknown key (expected one of: " + expected + ")");
  }
}

const Json& JsonObject::Required(const char* key) const {
  if (!Has(key))
    FailAt(PathOf(key), "required key is missing");
  return value_.at(key);
}

std::wstring JsonObject::String(const char* key, std::wstring fallback) const {
  const Json* value = Optional(key);
  return value == nullptr ? fallback : AsString(*value, PathOf(key));
}

std::wstring JsonObject::RequiredString(const char* key) const {
  return AsString(Required(key), PathOf(key));
}

bool JsonObject::Bool(const char* key, bool fallback) const {
  const Json* value = Optional(key);
  if (value == nullptr)
    return fallback;
  if (!value->is_boolean())
    FailAt(PathOf(key), "expected a boolean, found " + Described(*value));
  return value->get<bool>();
}

uint64_t JsonObject::Number(const char* key, uint64_t fallback, uint64_t max) const {
  const Json* value = Optional(key);
  return value == nullptr ? fallback : AsNumber(*value, PathOf(key), max);
}

size_t JsonObject::Choice(const char* key, std::initializer_list<const char*> choices,
                          size_t fallback) const {
  const Json* value = Optional(key);
  if (value == nullptr)
    return fallback;
  std::string text = ToUtf8(AsString(*value, PathOf(key)));
  size_t index = 0;
  std::string listed;
  for (const char* choice : choices) {
    if (text == choice)
      return index;
    listed += (index++ == 0 ? "\"" : ", \"") + std::string(choice) + "\"";
  }
  FailAt(PathOf(key), "expected one of " + listed + ", found \"" + text + "\"");
}

std::wstring JsonObject::AsString(const Json& value, const std::string& path) {
  if (!value.is_string())
    FailAt(path, "expected a string, found " + Described(value));
  return FromUtf8(value.get<std::string>());
}

uint64_t JsonObject::AsNumber(const Json& value, const std::string& path, uint64_t max) {
  if (value.is_number_unsigned()) {
    uint64_t number = value.get<uint64_t>();
    if (number > max)
      FailAt(path, "must be at most " + std::to_string(max));
    return number;
  }
  if (value.is_number_integer())
    FailAt(path, "expected a non-negative integer, found " + value.dump());
  if (value.is_number())
    FailAt(path, "expected an integer, found " + value.dump());
  FailAt(path, "expected a number, found " + Described(value));
}

}  // namespace tarvik
