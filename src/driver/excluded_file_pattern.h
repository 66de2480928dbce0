// The rewriting of /xf values: the platform's DOS wildcards ('"', '<', '>')
// become the ordinary ones, and redundant wildcards after a '*' are dropped,
// so that the stored pattern means what the user typed for the matcher.
#ifndef TARVIK_DRIVER_EXCLUDED_FILE_PATTERN_H_
#define TARVIK_DRIVER_EXCLUDED_FILE_PATTERN_H_

#include <string>
#include <string_view>

namespace tarvik {

std::wstring NormalizeExcludedFilePattern(std::wstring_view pattern);

}  // namespace tarvik

#endif  // TARVIK_DRIVER_EXCLUDED_FILE_PATTERN_H_
