// The log file as the writer holds it: opened through the Os, written as UTF-8
// text or, with /u, as UTF-16LE. Line breaks are single line feeds in both.
#ifndef TARVIK_LOG_LOG_FILE_H_
#define TARVIK_LOG_LOG_FILE_H_

#include <memory>
#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace tarvik {

class LogFile {
 public:
  // Creates or, with append, opens the file and moves to its end. Returns null
  // with the system's last error set when that fails.
  static std::unique_ptr<LogFile> Open(const std::wstring& path, bool append, bool unicode);

  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  const std::wstring& path() const { return path_; }
  bool unicode() const { return unicode_; }

  // The two bytes FF FE that open a UTF-16LE text; written also when
  // appending, so each run's part of the file starts with one.
  bool WriteByteOrderMark();

  // Encodes and writes all of text. False (with the last error) on failure.
  bool Write(std::wstring_view text);

 private:
  LogFile(std::wstring path, HANDLE handle, bool unicode);
  bool WriteBytes(const std::string& bytes);

  std::wstring path_;
  HANDLE handle_;
  bool unicode_;
};

}  // namespace tarvik

#endif  // TARVIK_LOG_LOG_FILE_H_
