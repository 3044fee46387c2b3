#include "tarnalert/platform/text/FXString.h"

#include <string>
#include <utility>

#include <gtest/gtest.h>

namespace {

// The tests run in the "C" locale (a program's locale until it calls
// setlocale), where the C library's own wide-character functions know nothing
// beyond ASCII.

std::wstring Wide(long code) { return std::wstring(1, static_cast<wchar_t>(code)); }

TEST(FXStringTest, Utf8RoundTrips) {
  // One, two, three and four bytes, the highest character and U+FFFD itself.
  const std::string narrow =
      "ASCII \xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\xEF\xBF\xBD";
  const std::wstring wide =
      L"ASCII \u00E9t\u00E9 \u20AC " + Wide(0x1F600) + Wide(0x10FFFF) + L"\uFFFD";
  EXPECT_EQ(FXString::ToWstring(narrow), wide);
  EXPECT_EQ(FXString::ToWstring(narrow.c_str()), wide);
  EXPECT_EQ(FXString::ToString(wide), narrow);
  EXPECT_EQ(FXString::ToString(wide.c_str()), narrow);
  EXPECT_TRUE(FXString::IsValidUtf8(narrow.data(), narrow.size()));
  EXPECT_EQ(FXString::ToWstring(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
  EXPECT_EQ(FXString::ToWstring(static_cast<const char*>(nullptr)), L"");
  EXPECT_EQ(FXString::ToString(static_cast<const wchar_t*>(nullptr)), "");
}

TEST(FXStringTest, InvalidSequencesBecomeReplacementCharacters) {
  const std::wstring r = L"\uFFFD";
  const std::pair<std::string, std::wstring> cases[] = {
      {"\xC0\xAF", r + r},                  // over-long slash
      {"\xE0\x80\xAF", r + r + r},          // over-long, three bytes
      {"\xF0\x80\x80\xAF", r + r + r + r},  // over-long, four bytes
      {"\xED\xA0\x80", r + r + r},          // surrogate
      {"a\xE2\x82", L"a" + r},              // truncated at the end
      {"\xE2\x82z", r + L"z"},              // truncated before ASCII
      {"\x80x", r + L"x"},                  // lone continuation byte
      {"\xF4\x90\x80\x80", r + r + r + r},  // above U+10FFFF
      {"\xF5\x80", r + r},                  // invalid lead byte
      {"\xFF", r},
  };
  for (const auto& [narrow, wide] : cases) {
    EXPECT_EQ(FXString::ToWstring(narrow), wide) << ::testing::PrintToString(narrow);
    EXPECT_FALSE(FXString::IsValidUtf8(narrow.data(), narrow.size()))
        << ::testing::PrintToString(narrow);
  }
  // Wide values that are no characters narrow to U+FFFD.
  EXPECT_EQ(FXString::ToString(Wide(0xD800) + Wide(0xDFFF) + Wide(0x110000) + Wide(-1)),
            "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(FXStringTest, ToLowerMapsOneCharacterToOne) {
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"ABC xyz [@] `{} 09 IJ", L"abc xyz [@] `{} 09 ij"},
      // Latin-1 and Latin Extended, with characters that have no lower case
      // and a lower case outside the block.
      {L"\u00C0\u00D8\u00DE \u00D7\u00DF\u00FF \u0100\u0141\u0178\u01C5",
       L"\u00E0\u00F8\u00FE \u00D7\u00DF\u00FF \u0101\u0142\u00FF\u01C6"},
      {L"\u0391\u03A3\u03C3\u03C2\u0386 \u0414\u0401\u042F",  // Greek, Cyrillic
       L"\u03B1\u03C3\u03C3\u03C2\u03AC \u0434\u0451\u044F"},
      {L"I\u0131\u0130", L"i\u0131i"},  // Turkish dotless and dotted I
      {L"\uFF21\uFF3A" + Wide(0x10400),
       L"\uFF41\uFF5A" + Wide(0x10428)},                       // full width, beyond the BMP
      {Wide(-5) + Wide(0x110000), Wide(-5) + Wide(0x110000)},  // no characters
  };
  for (const auto& [text, want] : cases) {
    std::wstring copy = text;
    FXString::ToLower(copy);
    EXPECT_EQ(copy, want) << ::testing::PrintToString(text);
  }
  // Over every character: the length stays, and a lowered character is itself
  // lower case (lowering it again keeps it).
  std::wstring all;
  for (wchar_t c = 1; c <= 0x10FFFF; ++c) {
    if (c < 0xD800 || c > 0xDFFF) all.push_back(c);
  }
  std::wstring lowered = all;
  FXString::ToLower(lowered);
  ASSERT_EQ(lowered.size(), all.size());
  std::wstring twice = lowered;
  FXString::ToLower(twice);
  size_t changed = 0;
  for (size_t i = 0; i < all.size(); ++i) {
    changed += lowered[i] != all[i];
    EXPECT_EQ(twice[i], lowered[i]) << std::hex << static_cast<long>(all[i]);
  }
  EXPECT_GT(changed, 1000u);  // the table covers far more than ASCII
}

}  // namespace
