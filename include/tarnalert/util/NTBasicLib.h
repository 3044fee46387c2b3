// HTML entities for the three characters that are special in HTML text:
// "&", "<" and ">" are written as "&amp;", "&lt;" and "&gt;" and read back.
// No other character is encoded and no other entity is decoded (quotation
// marks stay, named and numeric references outside these three and upper-case
// forms stay as written).
//
// Wide text is UTF-32, narrow text UTF-8; the narrow functions convert to wide
// text and back, so invalid UTF-8 comes out as U+FFFD. The functions keep no
// state, return a new string owned by the caller, and may be called from any
// thread. A null argument is read as the empty text.
#ifndef TARNALERT_UTIL_NTBASICLIB_H_
#define TARNALERT_UTIL_NTBASICLIB_H_

#include <string>

#include "tarnalert/platform/Export.h"

namespace NTBasicLib {

// The text with every "&", "<" and ">" written as its entity.
TARNALERT_EXPORT std::wstring htmlEncode(const wchar_t* text);
TARNALERT_EXPORT std::string htmlEncode(const char* text);

// The text with every "&amp;", "&lt;" and "&gt;" (exact case) turned back into
// its character. Entities are decoded once, left to right, so decoding what
// htmlEncode produced gives the original text: "&amp;lt;" becomes "&lt;".
TARNALERT_EXPORT std::wstring htmlDecode(const wchar_t* text);
TARNALERT_EXPORT std::string htmlDecode(const char* text);

}  // namespace NTBasicLib

#endif  // TARNALERT_UTIL_NTBASICLIB_H_
