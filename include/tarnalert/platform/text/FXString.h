// platform/text: UTF-8 and UTF-32 text, case mapping, printf formatting,
// numbers. The bottom of platform/: depends on nothing else of the project.
//
// FXString: conversions between narrow text (UTF-8) and wide text (UTF-32 in
// std::wstring) and a locale-independent lower-casing.
//
// Invalid input (malformed UTF-8, surrogates, values above U+10FFFF) becomes
// U+FFFD; nothing fails. None of the functions depends on the process locale.
#ifndef TARNALERT_PLATFORM_TEXT_FXSTRING_H_
#define TARNALERT_PLATFORM_TEXT_FXSTRING_H_

#include <cstddef>
#include <string>

#include "tarnalert/platform/Export.h"

class TARNALERT_EXPORT FXString {
 public:
  static std::wstring ToWstring(const std::string& text);
  static std::wstring ToWstring(const char* text);  // null gives the empty text
  static std::string ToString(const std::wstring& text);
  static std::string ToString(const wchar_t* text);  // null gives the empty text
  // Lower-cases `text` in place by the Unicode simple case mapping, one
  // character for one, so positions found in a lowered copy stay valid.
  static void ToLower(std::wstring& text);
  // True when `text` is well-formed UTF-8.
  static bool IsValidUtf8(const char* text, size_t size);
  // Reads a number as atoi does (leading blanks, a sign, the leading digits;
  // 0 without digits), saturating at the 32-bit range instead of overflowing.
  static int ToInt32(const char* text);
};

#endif  // TARNALERT_PLATFORM_TEXT_FXSTRING_H_
