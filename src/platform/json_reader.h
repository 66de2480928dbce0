// Strict reading of a JSON document with the key path of every value at hand,
// so that a mistake is reported where it is:
//   servers[1].shares[0].path: expected a string, found a number
#ifndef TARVIK_PLATFORM_JSON_READER_H_
#define TARVIK_PLATFORM_JSON_READER_H_

#include <cstdint>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tarvik {

using Json = nlohmann::json;

// A mistake in the document: "<key path>: <what is wrong>".
class JsonError : public std::runtime_error {
 public:
  JsonError(const std::string& path, const std::string& message)
      : std::runtime_error(path.empty() ? message : path + ": " + message) {}
};

[[noreturn]] void FailAt(const std::string& path, const std::string& message);

// Key paths: object keys joined with '.', quoted unless a plain word;
// array elements as [index].
std::string ChildPath(const std::string& path, const std::string& key);
std::string ElementPath(const std::string& path, size_t index);
// "a string", "an object", "null"...
std::string Described(const Json& value);
// The text in double quotes, as UTF-8.
std::string Quoted(std::wstring_view text);

// Parses text. Throws JsonError for a key given twice in one object (the
// parser would keep the last one silently) and Json::parse_error for a syntax
// error, whose message gives the line and column.
Json ParseJsonStrict(std::string_view text);

// An object whose keys must all be among the allowed ones, with typed access
// to its values; every mistake throws JsonError naming the key.
class JsonObject {
 public:
  JsonObject(const Json& value, std::string path, std::initializer_list<const char*> allowed);

  const std::string& path() const { return path_; }
  std::string PathOf(const char* key) const { return ChildPath(path_, key); }
  bool Has(const char* key) const { return value_.contains(key); }

  const Json& Required(const char* key) const;
  const Json* Optional(const char* key) const { return Has(key) ? &value_.at(key) : nullptr; }

  std::wstring String(const char* key, std::wstring fallback = L"") const;
  std::wstring RequiredString(const char* key) const;
  bool Bool(const char* key, bool fallback) const;
  uint64_t Number(const char* key, uint64_t fallback, uint64_t max) const;
  // A string that must be one of choices; returns its index.
  size_t Choice(const char* key, std::initializer_list<const char*> choices, size_t fallback) const;

  // Calls each(element, path) for every element of an optional array.
  template <typename Each>
  void Array(const char* key, Each each) const {
    const Json* value = Optional(key);
    if (value == nullptr)
      return;
    if (!value->is_array())
      FailAt(PathOf(key), "expected an array, found " + Described(*value));
    for (size_t i = 0; i < value->size(); ++i)
      each((*value)[i], ElementPath(PathOf(key), i));
  }

  static std::wstring AsString(const Json& value, const std::string& path);
  // A non-negative integer up to max.
  static uint64_t AsNumber(const Json& value, const std::string& path, uint64_t max);

 private:
  const Json& value_;
  std::string path_;
};

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_JSON_READER_H_
