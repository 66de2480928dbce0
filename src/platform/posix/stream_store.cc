#include "platform/posix/stream_store.h"

#include <cerrno>

#include "platform/posix/stream_names.h"
#include "platform/win_error.h"
#include "util/text.h"

namespace tarvik {
namespace {

// A host without user attributes keeps no streams.
bool HasNoAttributes(int error) {
  return error == ENOTSUP;
}

void StripTerminator(std::string* value) {
  if (!value->empty() && value->back() == '\0')
    value->pop_back();
}

}  // namespace

int ListStreams(const HostObject& object, std::vector<StoredStream>* streams) {
  streams->clear();
  std::vector<std::string> names;
  int error = ListHostXattrs(object, &names);
  if (error != 0)
    return HasNoAttributes(error) ? 0 : error;
  for (std::string& attribute : names) {
    StoredStream stream;
    if (!StreamNameOfAttribute(attribute, &stream.name))
      continue;
    std::string data;
    error = ReadStream(object, attribute, &data);
    if (error == ENODATA)
      continue;  // removed since the listing
    if (error != 0)
      return error;
    stream.size = data.size();
    stream.attribute = std::move(attribute);
    streams->push_back(std::move(stream));
  }
  return 0;
}

int FindStream(const HostObject& object, std::wstring_view name, std::string* attribute) {
  std::string exact;
  if (StreamAttributeName(name, &exact) == ERROR_SUCCESS) {
    std::string value;
    int error = GetHostXattr(object, exact.c_str(), &value);
    if (error == 0) {
      *attribute = std::move(exact);
      return 0;
    }
    if (error != ENODATA)
      return HasNoAttributes(error) ? ENODATA : error;
  }
  std::vector<std::string> names;
  int error = ListHostXattrs(object, &names);
  if (error != 0)
    return HasNoAttributes(error) ? ENODATA : error;
  for (std::string& candidate : names) {
    std::wstring shown;
    if (StreamNameOfAttribute(candidate, &shown) && EqualsNoCaseAscii(shown, name)) {
      *attribute = std::move(candidate);
      return 0;
    }
  }
  return ENODATA;
}

int ReadStream(const HostObject& object, const std::string& attribute, std::string* data) {
  int error = GetHostXattr(object, attribute.c_str(), data);
  if (error != 0)
    return error;
  StripTerminator(data);
  return 0;
}

int WriteStream(const HostObject& object, const std::string& attribute, std::string_view data) {
  if (data.size() > kMaxStreamSize)
    return EFBIG;
  std::string value(data);
  value.push_back('\0');
  int error = SetHostXattr(object, attribute.c_str(), value);
  // The host refuses a value larger than it holds (ext4 answers ENOSPC
  // when the attributes of the file would not fit).
  if (error == E2BIG || error == ENOSPC || error == ERANGE)
    return EFBIG;
  return error;
}

int ListAttributesForStreams(const HostObject& object, std::vector<std::string>* names) {
  int error = ListHostXattrs(object, names);
  if (error == 0)
    return 0;
  names->clear();
  return HasNoAttributes(error) ? 0 : error;
}

int RemoveAllStreams(const HostObject& object, const std::vector<std::string>& names) {
  std::wstring shown;
  for (const std::string& attribute : names) {
    if (!StreamNameOfAttribute(attribute, &shown))
      continue;
    int error = RemoveHostXattr(object, attribute.c_str());
    if (error != 0 && error != ENODATA)
      return error;
  }
  return 0;
}

}  // namespace tarvik
