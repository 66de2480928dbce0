// The name of the system the program runs on, for the "Client OS" line of the
// system information block.
#ifndef TARVIK_LOG_SYSTEM_REPORT_H_
#define TARVIK_LOG_SYSTEM_REPORT_H_

#include <string>

namespace tarvik {

// The longest description; a longer one is cut.
constexpr size_t kMaxSystemDescription = 256;

// Names the system from the version information it reports ("Microsoft
// Windows Server 2003, Enterprise Edition Service Pack 2 (build 3790)").
// Systems from version 6.2 on have no name of their own here: they are
// "Microsoft ", the service pack text and the build. Returns false, with text
// left empty, when the version cannot be read or the system predates
// Windows 2000 (which is said through LogText).
bool DescribeOperatingSystem(std::wstring* text);

}  // namespace tarvik

#endif  // TARVIK_LOG_SYSTEM_REPORT_H_
