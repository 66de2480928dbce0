// The exception of the security layer: a message and an integer code (0
// unless a caller gives one). Operations on SIDs, ACLs and descriptors raise
// it; the operations that work on files catch it at their boundary.
#ifndef TARVIK_COMMON_SD_SD_EXCEPTION_H_
#define TARVIK_COMMON_SD_SD_EXCEPTION_H_

#include <exception>
#include <string>

namespace tarvik {

class SDException : public std::exception {
 public:
  explicit SDException(std::wstring message, int code = 0);

  const std::wstring& message() const { return message_; }
  int code() const { return code_; }
  // The message in UTF-8.
  const char* what() const noexcept override { return narrow_.c_str(); }

 private:
  std::wstring message_;
  int code_;
  std::string narrow_;
};

}  // namespace tarvik

#endif  // TARVIK_COMMON_SD_SD_EXCEPTION_H_
