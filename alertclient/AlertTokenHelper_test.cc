#include "tarnalert/alertclient/AlertTokenHelper.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/testing/TestEnv.h"
#include "tarnalert/alert/EvAlertEx.h"

namespace {

using KTGui::AlertAvailCriteria;
using KTGui::AlertTypeListItem;
using KTGui::GetAlertDetailForClientResp;
using Pairs = std::vector<std::pair<unsigned long, std::string>>;
using PushFunction = std::function<void(AlertTokenHelper&, HqMessageBase&)>;

constexpr int kFailover = 74;
constexpr const wchar_t* kNoText = nullptr;

// An alert type entry: its number, category, name id and criteria given as
// (criteriaId, nameMessageId).
AlertTypeListItem AlertType(int typeId, int categoryId, int nameId,
                            std::vector<std::pair<int, int>> criteria) {
  AlertTypeListItem item;
  item.set(AlertTypeListItem::alertTypeId, typeId);
  item.set(AlertTypeListItem::categoryId, categoryId);
  item.set(AlertTypeListItem::nameMessageId, nameId);
  for (auto [id, nameId] : criteria) {
    HqMessageBase& c =
        item.list(AlertTypeListItem::availCriteria).emplace_back(AlertAvailCriteria());
    c.set(AlertAvailCriteria::criteriaId, id);
    c.set(AlertAvailCriteria::nameMessageId, nameId);
  }
  return item;
}

class AlertTokenHelperTest : public ::testing::Test {
 protected:
  // The pairs pushed by `push` through a helper over the configuration; each
  // pair must hold exactly one value.
  Pairs Collect(PushFunction push) {
    AlertTokenHelper helper(config_, kFailover, 0);
    KTGui::DetectedAlertsDataDetails details;
    push(helper, details);
    Pairs pairs;
    for (HqMessageBase& pair : details.list(KTGui::DetectedAlertsDataDetails::tokenValues)) {
      auto& values = pair.list(KTGui::TokenValueStruct::values);
      EXPECT_EQ(values.size(), 1u);
      pairs.emplace_back(pair.get(KTGui::TokenValueStruct::tokenId),
                         values.empty() ? "" : values[0]);
    }
    return pairs;
  }

  tarnalert::test::TestEnv env_;
  tarnalert::ScopedEnv scoped_{&env_};
  GetAlertDetailForClientResp config_;
};

TEST_F(AlertTokenHelperTest, PushFamilyDropsEmptyValues) {
  const std::wstring wide = L"Grüße ✓";
  env_.SetCatalogText(7, "Seven");
  const std::tuple<const char*, PushFunction, Pairs> cases[] = {
      {"empty text", [](auto& h, auto& d) { h.Push(d, 7, std::string()); }, {}},
      {"empty text with flag", [](auto& h, auto& d) { h.Push(d, 7, std::string(), true); }, {}},
      {"text with flag off", [](auto& h, auto& d) { h.Push(d, 7, "x", false); }, {{7, "x"}}},
      {"null wide", [](auto& h, auto& d) { h.Push(d, 7, kNoText); }, {}},
      {"empty wide", [](auto& h, auto& d) { h.Push(d, 7, L""); }, {}},
      {"wide", [&](auto& h, auto& d) { h.Push(d, 7, wide.c_str()); }, {{7, "Grüße ✓"}}},
      {"lowest", [](auto& h, auto& d) { h.Push(d, 7, LLONG_MIN); }, {{7, "-9223372036854775808"}}},
      {"int", [](auto& h, auto& d) { h.Push(d, 7, -12); }, {{7, "-12"}}},
      {"zero record", [](auto& h, auto& d) { h.Push(d, 7, tagTIMESTAMP_STRUCT{}, true); }, {}},
      {"zero time", [](auto& h, auto& d) { h.PushDateTime(d, 0), h.PushDateTimeUTC(d, 0); }, {}},
      {"twice", [](auto& h, auto& d) { h.Push(d, 7, 1), h.Push(d, 7, 2); }, {{7, "1"}, {7, "2"}}},
      {"no installation name", [](auto& h, auto& d) { h.PushTarnholdName(d); }, {}},
      {"job ids up to 0", [](auto& h, auto& d) { h.PushJobId(d, 0), h.PushJobId(d, -3); }, {}},
      {"job id beyond 32 bits",
       [](auto& h, auto& d) { h.PushJobId(d, 5000000000LL); },
       {{0x4a000023, "5000000000"}}},
  };
  for (const auto& [what, push, expected] : cases) {
    env_.ClearLog();
    EXPECT_EQ(Collect(push), expected) << what;
    // Each kept value of token 7 is logged at level 8, a dropped one never.
    const std::string line = "DEBUG 8 AlertTokenHelper::Push: token: Seven value: ";
    size_t logged = 0;
    for (const auto& [id, value] : expected) {
      if (id != 7) continue;
      ++logged;
      EXPECT_EQ(env_.CountLogLines(line + value), 1u) << what;
    }
    EXPECT_EQ(env_.CountLogLines(line), logged) << what;
  }
}

TEST_F(AlertTokenHelperTest, SeverityComesFromTheRuleOrElseTheCriteria) {
  env_.SetCatalogText(0x3d00024b, "Critical");
  env_.SetCatalogText(0x3d00024a, "Major");
  env_.SetCatalogText(0x3d000249, "Informational");
  const std::tuple<int, int, const char*, const char*> cases[] = {
      {1, 2, "1", "Critical"}, {0, 2, "2", "Major"},         {0, 0, "0", "Informational"},
      {0, 1, "1", "Critical"}, {3, 1, "3", "Informational"}, {-1, 2, "-1", "Informational"},
      {1, 0, "1", nullptr},  // no catalogue text: only the number
  };
  for (const auto& [ruleSeverity, criteriaSeverity, value, text] : cases) {
    if (text == nullptr) env_.SetCatalogText(0x3d00024b, "");
    KTGui::AlertDetail rule;
    rule.set(KTGui::AlertDetail::severity, ruleSeverity);
    KTGui::AlertCriteria criteria;
    criteria.set(KTGui::AlertCriteria::severity, criteriaSeverity);
    Pairs expected = {{0x4a000520, value}};
    if (text != nullptr) expected.emplace_back(0x4a00051f, text);
    EXPECT_EQ(Collect([&](auto& h, auto& d) { h.PushAlertSeverity(d, rule, criteria); }), expected)
        << ruleSeverity << " " << criteriaSeverity;
  }
}

TEST_F(AlertTokenHelperTest, CommentsAreRenderedWithTheirOwnArguments) {
  constexpr uint64_t kComment = 0x4a00003f, kOther = 0x11000001, kFull = 0x4a200001;
  env_.SetCatalogText(kFull, "Volume %1 is full (%2)");
  env_.SetCatalogText(0x4a200002, "Retry later");
  // Event message entries: (argument text, or null for the entry that ends a
  // message; event code; message id).
  using Entry = std::tuple<const char*, uint64_t, uint64_t>;
  const Entry end{nullptr, 0, 0};
  const std::tuple<const char*, std::vector<Entry>, std::vector<std::string>> cases[] = {
      {"ended", {{"Ü1", kComment, kFull}, {"✓", kComment, kFull}, end}, {"Volume Ü1 is full (✓)"}},
      {"unended comment", {{"v", kComment, kFull}}, {"Volume v is full ()"}},
      {"end entry carrying the comment code",
       {{"v", kComment, kFull}, {nullptr, kComment, kFull}},
       {"Volume v is full ()"}},
      {"other message first",
       {{"x", kOther, kFull}, {nullptr, kOther, 0}, {"v", kComment, kFull}, end},
       {"Volume v is full ()"}},
      {"two comments",
       {{"a", kComment, kFull}, end, {nullptr, kComment, 0x4a200002}},
       {"Volume a is full ()", "Retry later"}},
      {"no comment", {{"x", kOther, kFull}, end}, {}},
      {"end entry first", {{nullptr, kComment, 0x4a200002}, {"x", kOther, 1}}, {}},
      {"empty list", {}, {}},
  };
  for (const auto& [what, entries, comments] : cases) {
    EvAlertEx alert;
    for (const auto& [text, code, id] : entries) {
      const uint64_t type = text ? kArgText : kArgEndOfMessage;
      alert.getEventMsgList().push_back({code, id, type, 0, text ? text : ""});
    }
    Pairs expected;
    for (auto& text : comments) expected.emplace_back(kComment, text);
    EXPECT_EQ(Collect([&](auto& h, auto& d) { h.PushCommentToken(d, alert); }), expected) << what;
  }
}

TEST_F(AlertTokenHelperTest, CatalogueLookUpsSearchEveryEntryOfTheAlertType) {
  AlertTokenHelper none(config_, kFailover, 0);  // no catalogue at all
  EXPECT_EQ(none.getAlertTypeName(kFailover) + none.getAlertCategoryName(kFailover), L"");
  EXPECT_EQ(none.GetNameIdForCriteria(1), 0u);
  EXPECT_FALSE(config_.isSet(GetAlertDetailForClientResp::alertTypeCatalog));  // nor made one
  env_.SetCatalogText(0x4a300001, "Échec de bascule");
  env_.SetCatalogText(0x4a300002, "Later name");
  HqMessageBase& catalog = config_.child(GetAlertDetailForClientResp::alertTypeCatalog);
  // Without a matching alert type the category id is 0, and a category of id
  // 0 gives its name, whether the alert types are missing or do not match.
  catalog.list(KTGui::AlertTypeCatalog::alertCategories)
      .emplace_back(KTGui::IdName())
      .set(KTGui::IdName::name, "Uncategorized");
  EXPECT_EQ(AlertTokenHelper(config_, kFailover, 0).getAlertCategoryName(kFailover),
            L"Uncategorized");
  catalog.list(KTGui::AlertTypeCatalog::alertTypes) = {
      AlertType(kFailover, 4, 0x4a300001, {{1, 0x4a100001}}),
      AlertType(75, 1, 0, {{2, 0x4a100099}}),
      AlertType(kFailover, 5, 0x4a300002, {{2, 0x4a100002}, {2, 0x4a100003}})};
  for (auto [id, name] : {std::pair<int, const char*>{4, "Job Management"}, {5, "Système"}}) {
    auto& category =
        catalog.list(KTGui::AlertTypeCatalog::alertCategories).emplace_back(KTGui::IdName());
    category.set(KTGui::IdName::id, id);
    category.set(KTGui::IdName::name, name);
  }
  AlertTokenHelper helper(config_, kFailover, 0);
  EXPECT_EQ(helper.getAlertTypeName(kFailover), L"Échec de bascule");  // the first entry
  EXPECT_EQ(helper.getAlertCategoryName(kFailover), L"Système");       // the last entry
  EXPECT_EQ(helper.getAlertTypeName(3) + helper.getAlertCategoryName(3), L"Uncategorized");
  EXPECT_EQ(helper.GetNameIdForCriteria(1), 0x4a100001u);
  EXPECT_EQ(helper.GetNameIdForCriteria(2), 0x4a100002u);  // the first entry that names it
  EXPECT_EQ(helper.GetNameIdForCriteria(3), 0u);
}

}  // namespace
