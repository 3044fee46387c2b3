#include "tarnalert/util/NTBasicLib.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tarnalert/platform/text/FXString.h"

namespace {

using NTBasicLib::htmlDecode;
using NTBasicLib::htmlEncode;

TEST(NTBasicLibTest, TheThreeEntitiesRoundTrip) {
  struct Case {
    const char *plain, *encoded;
  } cases[] = {
      {"1 < 2 & 3 > 0", "1 &lt; 2 &amp; 3 &gt; 0"},
      {"", ""},
      {"\"quoted\" 'text'", "\"quoted\" 'text'"},
      {"&lt;", "&amp;lt;"},  // entity text is escaped like any text, and comes back
      {"Grüße <Zoë> & 日本", "Grüße &lt;Zoë&gt; &amp; 日本"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(htmlEncode(c.plain), c.encoded) << c.plain;
    EXPECT_EQ(htmlDecode(c.encoded), c.plain) << c.plain;
    EXPECT_EQ(htmlEncode(FXString::ToWstring(c.plain).c_str()), FXString::ToWstring(c.encoded))
        << c.plain;
    EXPECT_EQ(htmlDecode(FXString::ToWstring(c.encoded).c_str()), FXString::ToWstring(c.plain))
        << c.plain;
  }
  EXPECT_EQ(htmlEncode(static_cast<const char*>(nullptr)), "");

  // Whatever entity-like text the original holds.
  const std::wstring pieces[] = {L"&", L"<", L">", L"amp;", L"lt;", L"gt;", L"a", L"ü"};
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::wstring text;
    for (int n = random() % 12; n > 0; --n) text += pieces[random() % std::size(pieces)];
    ASSERT_EQ(htmlDecode(htmlEncode(text.c_str()).c_str()), text);
  }
}

TEST(NTBasicLibTest, DecodingLeavesOtherEntitiesAsWritten) {
  // Other entities, capitals, and incomplete entities.
  EXPECT_EQ(htmlDecode("&quot; &#60; &AMP; &LT; & &lt &&lt;"), "&quot; &#60; &AMP; &LT; & &lt &<");
}

}  // namespace
