// The translator's trace lines: written only under the debug-security
// switch, as "label                : text".
#ifndef TARVIK_TRANSLATE_SECURITY_TRACE_H_
#define TARVIK_TRANSLATE_SECURITY_TRACE_H_

#include <string_view>

namespace tarvik {

bool TracingSecurity();
void TraceSecurity(std::wstring_view label, std::wstring_view text);

}  // namespace tarvik

#endif  // TARVIK_TRANSLATE_SECURITY_TRACE_H_
