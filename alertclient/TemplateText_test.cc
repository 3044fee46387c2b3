#include "alertclient/TemplateText.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

#include "alert/EvAlertEx.h"
#include "alertclient/EvAlertProcessClient.h"
#include "platform/FXString.h"
#include "platform/testing/TestEnv.h"

namespace {

using tarnalert::testing::ScopedEnv;
using tarnalert::testing::TestEnv;

constexpr size_t npos = std::wstring::npos;

// Straightforward forms of the trimming and replacement, erasing and
// lowering in place; the library's single-pass forms must agree with them.
void ReferenceTrim(std::wstring& body, const std::wstring& open, const std::wstring& close,
                   const std::wstring& exclude, size_t maxSpan) {
  std::wstring text = body;
  size_t start = text.find(open);
  while (start != npos) {
    size_t end = text.find(close, start);
    if (end == npos) break;
    size_t next = text.find(open, start + open.size());
    if (next != npos && next < end) start = next;
    std::wstring segment = text.substr(start, end - start + 1);
    if (segment.find(L"Not Applicable") != npos &&
        (exclude.empty() || segment.find(exclude) == npos) && segment.rfind(open) == 0 &&
        end - start <= maxSpan) {
      text.erase(start, end + close.size() - start);
      end = start;
    }
    start = text.find(open, end);
  }
  body = text;
}

void ReferenceReplace(std::wstring& message, std::wstring find, const std::wstring& with) {
  FXString::ToLower(find);
  size_t position = 0;
  for (;;) {
    std::wstring lowered = message;
    FXString::ToLower(lowered);
    size_t match = lowered.find(find, position);
    if (match == npos) return;
    message.replace(match, find.size(), with);
    position = match + with.size();
  }
}

class TemplateTextTest : public ::testing::Test {
 protected:
  TemplateTextTest() : env_(&test_env_), client_(74, 1, 0, alert_), rule_(ruleMessage_, client_) {}

  TestEnv test_env_;
  ScopedEnv env_;
  EvAlertEx alert_;
  NTAlertProcessClient client_;
  KTGui::AlertDetail ruleMessage_;
  NTNotifRuleDetectedAlertProcessing rule_;
};

TEST(FindStringTest, LowersTheTextButNotTheSearch) {
  EXPECT_EQ(FindString(L"Alert NAME and ÄPFEL", 7, L"äpfel"), 15u);
  EXPECT_EQ(FindString(L"Alert NAME", 0, L"NAME"), npos);
  EXPECT_EQ(FindString(L"abc", 0, nullptr), npos);
}

TEST(ReplaceWStringTest, ReplacesExactMatchesOnceAndExpandsMarkers) {
  struct Case {
    std::wstring text, find, with, out;
  } cases[] = {
      {L"tok tok", L"tok", L"<tok>", L"<tok> <tok>"},  // inserted text is not searched
      {L"TOK tok", L"tok", L"x", L"TOK x"},            // case-sensitive
      {L"aaaa", L"aa", L"a", L"aa"},
      {L"abc", L"", L"x", L"abc"},  // an empty search text matches nothing
      {L"grün→grün", L"grün", L"vert", L"vert→vert"},
  };
  for (Case& c : cases) {
    EXPECT_EQ(replaceWString(c.text, c.find, c.with), c.out);
    EXPECT_EQ(c.text, c.out);
  }
  const std::wstring text = L"a MsgNewLine_MsgTab_b msgnewline_ MSGTAB_";
  EXPECT_EQ(DecodeMsgTabForNotifMessage(DecodeNewLineForNotifMessage(text, false), false),
            L"a  \r\n \tb msgnewline_ MSGTAB_");
  EXPECT_EQ(DecodeMsgTabForNotifMessage(DecodeNewLineForNotifMessage(text, true), true),
            L"a <br>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;b msgnewline_ MSGTAB_");
}

TEST(TrimRowsTest, FollowsTheTableOfTags) {
  const std::wstring pad(200, L'.');
  const std::wstring row150 = L"<tr>Not Applicable" + std::wstring(132, L'.') + L"</tr>";
  struct Case {
    int alertType;
    std::wstring body, out;
  } cases[] = {
      {74, L"<ul><li>Size: Not Applicable</li><li>Name: x</li></ul>", L"<ul><li>Name: x</li></ul>"},
      {74, L"<li><tr>Not Applicable</li>z", L"<li><tr>Not Applicable</li>z"},  // excluded
      {74, L"<li>" + pad + L"Not Applicable" + pad + L"</li>",
       L"<li>" + pad + L"Not Applicable" + pad + L"</li>"},  // too long
      {74, L"<li>a<li>Not Applicable</li>b", L"<li>ab"},     // second open tag wins
      {74, L"<li>Not Applicable<li>x</li>b", L"<li>Not Applicable<li>x</li>b"},
      {74, L"<li>Not Applicable</li><li>Not Applicable", L"<li>Not Applicable"},  // no close
      {74, L"<LI>Not Applicable</LI><li>not applicable</li>",
       L"<LI>Not Applicable</LI><li>not applicable</li>"},  // exact case
      {74, L"<tr><td>Not Applicable</td></tr>", L"<tr><td>Not Applicable</td></tr>"},
      {57, L"<tr><td>Not Applicable</td></tr><tr><td>1</td></tr>", L"<tr><td>1</td></tr>"},
      {57, row150 + L"x", L"x"},                                       // close tag at 150: removed
      {57, L"<tr>." + row150.substr(4), L"<tr>." + row150.substr(4)},  // at 151: kept
      {57, L"<tr><li>Not Applicable</tr>", L""},                       // no exclusion text
      {57, L"ünï<tr>Not Applicable — ☃</tr>ünï", L"ünïünï"},
  };
  for (Case& c : cases) {
    std::wstring body = c.body;
    TrimNotApplicableRowsFromHtmlBody(body, c.alertType);
    EXPECT_EQ(body, c.out) << FXString::ToString(c.body);
  }
}

TEST(TrimRowsTest, DegenerateTagsLeaveTheBody) {
  std::wstring body = L"<li>Not Applicable</li>";
  TrimNotApplicableRowsFromHtmlBody(body, L"", L"</li>", nullptr, 250);
  TrimNotApplicableRowsFromHtmlBody(body, L"<li", L"<li", nullptr, 250);  // cannot advance
  EXPECT_EQ(body, L"<li>Not Applicable</li>");
}

TEST(TrimRowsTest, AgreesWithErasingInPlace) {
  const std::wstring pieces[] = {L"<li",  L"</li>", L"<tr", L"</tr>", L"Not Applicable",
                                 L"x",    L"<",     L"/",   L"li>",   std::wstring(60, L'-'),
                                 L"Not ", L"é"};
  struct Tags {
    const wchar_t *open, *close, *exclude;
    size_t span;
  } tags[] = {{L"<li", L"</li>", L"<tr", 250}, {L"<tr", L"</tr>", L"", 150},
              {L"<li", L"</li>", L"", 0},      {L"<li", L"</li>", L"x", 40},
              {L"<li", L"li>", L"", 100},      {L"<", L"/", L"", 1000}};
  std::mt19937 random(11);
  for (int round = 0; round < 20000; ++round) {
    std::wstring body;
    for (int n = random() % 16; n > 0; --n) body += pieces[random() % std::size(pieces)];
    const Tags& t = tags[round % std::size(tags)];
    std::wstring expected = body, actual = body;
    ReferenceTrim(expected, t.open, t.close, t.exclude, t.span);
    TrimNotApplicableRowsFromHtmlBody(actual, t.open, t.close, t.exclude, t.span);
    ASSERT_EQ(actual, expected) << FXString::ToString(body) << " tags " << round % std::size(tags);
  }
}

TEST_F(TemplateTextTest, ReplaceIgnoresLetterCaseAndSkipsInsertedText) {
  struct Case {
    std::wstring message;
    const wchar_t *find, *with;
    std::wstring out;
  } cases[] = {
      {L"Hi <NAME>, <name>!", L"<Name>", L"Zoë", L"Hi Zoë, Zoë!"},
      {L"[Tok][tok]", L"TOK", L"tok tok", L"[tok tok][tok tok]"},
      {L"ÜBER über", L"über", L"ok", L"ok ok"},
      {L"ΣΑΣ", L"σ", L"s", L"sΑs"},
      {L"abc", L"", L"x", L"abc"},  // empty search text: nothing matches, no endless loop
      {L"abc", nullptr, L"x", L"abc"},
      {L"abc", L"b", nullptr, L"abc"},
  };
  for (Case& c : cases) {
    std::wstring message = c.message;
    rule_.Replace(message, c.find, c.with);
    EXPECT_EQ(message, c.out) << FXString::ToString(c.message);
  }
}

TEST_F(TemplateTextTest, ReplaceAgreesWithLoweringPerMatch) {
  const std::wstring pieces[] = {L"ab", L"AB", L"aB", L"a", L"b", L"É", L"é", L"x"};
  const std::wstring finds[] = {L"ab", L"Ab", L"aba", L"é", L"bÉ"};
  const std::wstring withs[] = {L"", L"AB", L"ab-ab", L"ÉÉ"};
  std::mt19937 random(5);
  for (int round = 0; round < 20000; ++round) {
    std::wstring message;
    for (int n = random() % 12; n > 0; --n) message += pieces[random() % std::size(pieces)];
    const std::wstring& find = finds[random() % std::size(finds)];
    const std::wstring& with = withs[random() % std::size(withs)];
    std::wstring expected = message, actual = message;
    ReferenceReplace(expected, find, with);
    rule_.Replace(actual, find.c_str(), with.c_str());
    ASSERT_EQ(actual, expected) << FXString::ToString(message);
  }
}

TEST_F(TemplateTextTest, ReplaceTokenUsesTheCatalogueTextOnce) {
  test_env_.SetCatalogText(0x4a000100, "<Client Näme> \r\n\t");
  std::wstring message = L"Host: <client NÄME>, again <CLIENT näme>";
  rule_.ReplaceTokenInMessage(message, 0x4a000100, L"wörk<1>", true);
  EXPECT_EQ(message, L"Host: wörk<1>, again wörk<1>");  // plain text: never escaped
  EXPECT_EQ(rule_.tokenTexts.at(0x4a000100), L"<Client Näme>");

  test_env_.SetCatalogText(0x4a000100, "changed");  // the cached text is used
  message = L"<Client Näme> changed";
  rule_.ReplaceTokenInMessage(message, 0x4a000100, 42);
  EXPECT_EQ(message, L"42 changed");

  rule_.tokenTexts[0x4a000101] = L"Count";
  message = L"count=COUNT";
  rule_.ReplaceTokenInMessage(message, 0x4a000101, -7);
  EXPECT_EQ(message, L"-7=-7");

  test_env_.SetCatalogText(0x4a000103, " \t\r\n");  // a token without text replaces nothing
  rule_.ReplaceTokenInMessage(message, 0x4a000103, L"value", false);
  EXPECT_EQ(message, L"-7=-7");
  EXPECT_EQ(rule_.tokenTexts.at(0x4a000103), L"");
}

TEST_F(TemplateTextTest, ReplaceTokenInHtmlSearchesTheEscapedToken) {
  rule_.messageFormat = 1;
  rule_.tokenTexts[0x4a000102] = L"<Size & Name>";
  struct Case {
    bool escape;
    std::wstring out;
  } cases[] = {{true, L"<b>a&lt;b&gt; &amp; ü</b> <Size & Name>"},
               {false, L"<b>a<b> & ü</b> <Size & Name>"}};
  for (const Case& c : cases) {
    std::wstring message = L"<b>&LT;size &amp; name&gt;</b> <Size & Name>";
    rule_.ReplaceTokenInMessage(message, 0x4a000102, L"a<b> & ü", c.escape);
    EXPECT_EQ(message, c.out);
  }
  EXPECT_EQ(rule_.GetHtmlEscapedString(L"<a href=\"x\">&</a>"),
            L"&lt;a href=\"x\"&gt;&amp;&lt;/a&gt;");
}

}  // namespace
