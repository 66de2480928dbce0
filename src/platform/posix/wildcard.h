// The file system's name patterns, as a directory listing applies them.
#ifndef TARVIK_PLATFORM_POSIX_WILDCARD_H_
#define TARVIK_PLATFORM_POSIX_WILDCARD_H_

#include <string>
#include <string_view>

namespace tarvik {

// The DOS wildcards a listing pattern is rewritten into.
constexpr wchar_t DOS_STAR = L'<';
constexpr wchar_t DOS_QM = L'>';
constexpr wchar_t DOS_DOT = L'"';

// The pattern a listing call hands to the file system: "*.*" becomes "*";
// a '?' becomes DOS_QM; a '.' followed by '?', '*' or the end becomes
// DOS_DOT; a '*' followed by '.' becomes DOS_STAR. That is what makes "*.*"
// match names without a dot and "*." match exactly those.
std::wstring ListingExpression(std::wstring_view pattern);

// True when the name matches the expression, ignoring the case of A-Z:
//   *  any run of characters
//   ?  one character
//   <  any run of characters that does not take the name's last '.'
//   >  one character other than '.'; at a '.' or at the end of the name it
//      matches nothing
//   "  a '.', or nothing at the end of the name
bool MatchesExpression(std::wstring_view expression, std::wstring_view name);

bool HasWildcards(std::wstring_view pattern);

}  // namespace tarvik

#endif  // TARVIK_PLATFORM_POSIX_WILDCARD_H_
