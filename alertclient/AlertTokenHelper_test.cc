#include "alertclient/AlertTokenHelper.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "alert/EvAlertEx.h"
#include "platform/testing/TestEnv.h"

namespace {

using KTGui::AlertAvailCriteria;
using KTGui::AlertTypeCatalog;
using KTGui::AlertTypeListItem;
using KTGui::GetAlertDetailForClientResp;
using Pairs = std::vector<std::pair<unsigned long, std::string>>;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

constexpr int kFailover = 74;

// An alert type entry: its number, category, name id and criteria given as
// (criteriaId, nameMessageId).
AlertTypeListItem AlertType(int typeId, int categoryId, int nameId,
                            std::vector<std::pair<int, int>> criteria) {
  AlertTypeListItem item;
  item.set(AlertTypeListItem::alertTypeId, typeId);
  item.set(AlertTypeListItem::categoryId, categoryId);
  item.set(AlertTypeListItem::nameMessageId, nameId);
  for (auto [id, nameMessageId] : criteria) {
    AlertAvailCriteria c;
    c.set(AlertAvailCriteria::criteriaId, id);
    c.set(AlertAvailCriteria::nameMessageId, nameMessageId);
    item.list(AlertTypeListItem::availCriteria).push_back(c);
  }
  return item;
}

GetAlertDetailForClientResp Config(std::vector<AlertTypeListItem> types,
                                   std::vector<std::pair<int, std::string>> categories = {}) {
  GetAlertDetailForClientResp config;
  HqMessageBase& catalog = config.child(GetAlertDetailForClientResp::alertTypeCatalog);
  for (auto& type : types) catalog.list(AlertTypeCatalog::alertTypes).push_back(type);
  for (auto& [id, name] : categories) {
    KTGui::IdName category;
    category.set(KTGui::IdName::id, id);
    category.set(KTGui::IdName::name, name);
    catalog.list(AlertTypeCatalog::alertCategories).push_back(category);
  }
  return config;
}

// The pairs of `details`; each pair must hold exactly one value.
Pairs Read(KTGui::DetectedAlertsDataDetails& details) {
  Pairs pairs;
  for (HqMessageBase& pair : details.list(KTGui::DetectedAlertsDataDetails::tokenValues)) {
    auto& values = pair.list(KTGui::TokenValueStruct::values);
    EXPECT_EQ(values.size(), 1u);
    pairs.emplace_back(pair.get(KTGui::TokenValueStruct::tokenId), values.empty() ? "" : values[0]);
  }
  return pairs;
}

class AlertTokenHelperTest : public ::testing::Test {
 protected:
  AlertTokenHelperTest() {
    env_.SetCatalogText(0x3d00024b, "Critical");
    env_.SetCatalogText(0x3d00024a, "Major");
    env_.SetCatalogText(0x3d000249, "Informational");
  }
  // The pairs pushed by `push` through a helper over `config`.
  Pairs Collect(std::function<void(AlertTokenHelper&, HqMessageBase&)> push) {
    AlertTokenHelper helper(config_, kFailover, 0);
    KTGui::DetectedAlertsDataDetails details;
    push(helper, details);
    return Read(details);
  }

  tarnalert::testing::TestEnv env_;
  tarnalert::testing::ScopedEnv scoped_{&env_};
  GetAlertDetailForClientResp config_;
};

TEST_F(AlertTokenHelperTest, PushFamilyDropsEmptyValuesAndKeepsText) {
  const std::wstring wide = L"Grüße ✓";
  struct Case {
    const char* what;
    std::function<void(AlertTokenHelper&, HqMessageBase&)> push;
    Pairs expected;
  } cases[] = {
      {"empty text", [](auto& h, auto& d) { h.Push(d, 7, std::string()); }, {}},
      {"empty text with flag", [](auto& h, auto& d) { h.Push(d, 7, std::string(), true); }, {}},
      {"text with flag off", [](auto& h, auto& d) { h.Push(d, 7, "x", false); }, {{7, "x"}}},
      {"null wide",
       [](auto& h, auto& d) { h.Push(d, 7, static_cast<const wchar_t*>(nullptr)); },
       {}},
      {"empty wide", [](auto& h, auto& d) { h.Push(d, 7, L""); }, {}},
      {"wide", [&](auto& h, auto& d) { h.Push(d, 7, wide.c_str()); }, {{7, "Grüße ✓"}}},
      {"long long",
       [](auto& h, auto& d) { h.Push(d, 7, LLONG_MIN); },
       {{7, "-9223372036854775808"}}},
      {"int", [](auto& h, auto& d) { h.Push(d, 7, -12); }, {{7, "-12"}}},
      {"zero record", [](auto& h, auto& d) { h.Push(d, 7, tagTIMESTAMP_STRUCT{}, true); }, {}},
      {"same id twice",
       [](auto& h, auto& d) { h.Push(d, 7, 1), h.Push(d, 7, 2); },
       {{7, "1"}, {7, "2"}}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Collect(c.push), c.expected);
  }
}

TEST_F(AlertTokenHelperTest, EveryPushedPairIsLoggedAtLevelEight) {
  env_.SetCatalogText(AlertTokenHelper::kTarnholdNameToken, "Installation");
  config_.set(GetAlertDetailForClientResp::tarnholdName, "Zentrale Köln");
  Collect([](auto& h, auto& d) { h.PushTarnholdName(d), h.PushJobId(d, 0); });
  EXPECT_THAT(env_.LogMessages(),
              ElementsAre("DEBUG 8 AlertTokenHelper::Push: token: Installation value: "
                          "Zentrale Köln"));
  env_.ClearLog();
  config_.set(GetAlertDetailForClientResp::tarnholdName, "");
  EXPECT_THAT(Collect([](auto& h, auto& d) { h.PushTarnholdName(d); }), IsEmpty());
  EXPECT_THAT(env_.LogMessages(), IsEmpty());
}

TEST_F(AlertTokenHelperTest, JobIdIsPushedOnlyAboveZero) {
  for (long long job : {0LL, -3LL}) {
    EXPECT_THAT(Collect([&](auto& h, auto& d) { h.PushJobId(d, job); }), IsEmpty());
  }
  EXPECT_EQ(Collect([](auto& h, auto& d) { h.PushJobId(d, 5000000000LL); }),
            (Pairs{{0x4a000023, "5000000000"}}));
}

TEST_F(AlertTokenHelperTest, DatesInLocalTimeAndUtcBeyond2038) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
  tzset();
  struct Case {
    time_t time;
    const char* local;
    const char* utc;
  } cases[] = {
      {1614607507, "Mon Mar  1 09:05:07 2021", "Mon Mar  1 14:05:07 2021"},
      {2225016000, "Wed Jul  4 08:00:00 2040", "Wed Jul  4 12:00:00 2040"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(
        Collect([&](auto& h, auto& d) { h.PushDateTime(d, c.time), h.PushDateTimeUTC(d, c.time); }),
        (Pairs{{0x4a000007, c.local}, {0x4a000008, c.utc}}));
  }
  EXPECT_THAT(Collect([](auto& h, auto& d) { h.PushDateTime(d, 0), h.PushDateTimeUTC(d, 0); }),
              IsEmpty());
  old ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
  tzset();
}

TEST_F(AlertTokenHelperTest, CriteriaNameIdSearchesEveryEntryOfTheAlertType) {
  config_ =
      Config({AlertType(kFailover, 1, 0, {{1, 0x4a100001}}), AlertType(75, 1, 0, {{2, 0x4a100099}}),
              AlertType(kFailover, 1, 0, {{2, 0x4a100002}, {2, 0x4a100003}})});
  struct Case {
    unsigned long criteria;
    const char* value;
  } cases[] = {{1, "1242562561"}, {2, "1242562562"}, {3, "0"}};
  for (const Case& c : cases) {
    EXPECT_EQ(Collect([&](auto& h, auto& d) { h.PushCriteria(d, c.criteria); }),
              (Pairs{{0x4a00000e, c.value}}));
  }
  config_ = GetAlertDetailForClientResp();  // no catalogue at all
  EXPECT_EQ(Collect([](auto& h, auto& d) { h.PushCriteria(d, 1); }), (Pairs{{0x4a00000e, "0"}}));
}

TEST_F(AlertTokenHelperTest, SeverityComesFromTheRuleOrElseTheCriteria) {
  struct Case {
    int rule, criteria;
    const char* value;
    const char* text;
  } cases[] = {{1, 2, "1", "Critical"},      {0, 2, "2", "Major"},
               {0, 0, "0", "Informational"}, {0, 1, "1", "Critical"},
               {3, 1, "3", "Informational"}, {-1, 2, "-1", "Informational"}};
  for (const Case& c : cases) {
    KTGui::AlertDetail rule;
    rule.set(KTGui::AlertDetail::severity, c.rule);
    KTGui::AlertCriteria criteria;
    criteria.set(KTGui::AlertCriteria::severity, c.criteria);
    EXPECT_EQ(Collect([&](auto& h, auto& d) { h.PushAlertSeverity(d, rule, criteria); }),
              (Pairs{{0x4a000520, c.value}, {0x4a00051f, c.text}}));
  }
  env_.SetCatalogText(0x3d00024b, "");  // no text: only the number
  KTGui::AlertDetail rule;
  rule.set(KTGui::AlertDetail::severity, 1);
  EXPECT_EQ(
      Collect([&](auto& h, auto& d) { h.PushAlertSeverity(d, rule, KTGui::AlertCriteria()); }),
      (Pairs{{0x4a000520, "1"}}));
}

// An event message entry: argument text (null for an end entry), event code,
// message id.
struct Entry {
  const char* text;
  uint64_t eventCode;
  uint64_t messageId;
};

TEST_F(AlertTokenHelperTest, CommentsAreRenderedWithTheirOwnArguments) {
  constexpr uint64_t kComment = 0x4a00003f, kOther = 0x11000001;
  env_.SetCatalogText(0x4a200001, "Volume %1 is full (%2)");
  env_.SetCatalogText(0x4a200002, "Retry later");
  struct Case {
    const char* what;
    std::vector<Entry> entries;
    std::vector<std::string> comments;
  } cases[] = {
      {"ended comment",
       {{"Ü1", kComment, 0x4a200001}, {"✓", kComment, 0x4a200001}, {nullptr, 0, 0}},
       {"Volume Ü1 is full (✓)"}},
      {"unended comment", {{"v", kComment, 0x4a200001}}, {"Volume v is full ()"}},
      {"end entry carrying the comment code",
       {{"v", kComment, 0x4a200001}, {nullptr, kComment, 0x4a200001}},
       {"Volume v is full ()"}},
      {"other message first",
       {{"x", kOther, 0x4a200001},
        {nullptr, kOther, 0},
        {"v", kComment, 0x4a200001},
        {nullptr, 0, 0}},
       {"Volume v is full ()"}},
      {"two comments",
       {{"a", kComment, 0x4a200001}, {nullptr, 0, 0}, {nullptr, kComment, 0x4a200002}},
       {"Volume a is full ()", "Retry later"}},
      {"no comment", {{"x", kOther, 0x4a200001}, {nullptr, 0, 0}}, {}},
      {"end entry first", {{nullptr, kComment, 0x4a200002}, {"x", kOther, 1}}, {}},
      {"empty list", {}, {}},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    EvAlertEx alert;
    for (const Entry& e : c.entries) {
      AlertEventMsg m;
      m.eventCode = e.eventCode;
      m.messageId = e.messageId;
      m.argType = e.text ? kArgText : kArgEndOfMessage;
      m.text = e.text ? e.text : "";
      alert.getEventMsgList().push_back(m);
    }
    Pairs expected;
    for (auto& text : c.comments) expected.emplace_back(kComment, text);
    EXPECT_EQ(Collect([&](auto& h, auto& d) { h.PushCommentToken(d, alert); }), expected);
  }
}

TEST_F(AlertTokenHelperTest, AlertTypeAndCategoryNames) {
  env_.SetCatalogText(0x4a300001, "Échec de bascule");
  env_.SetCatalogText(0x4a300002, "Later name");
  config_ =
      Config({AlertType(kFailover, 4, 0x4a300001, {}), AlertType(kFailover, 5, 0x4a300002, {})},
             {{4, "Job Management"}, {5, "Système"}});
  AlertTokenHelper helper(config_, kFailover, 0);
  EXPECT_EQ(helper.getAlertTypeName(kFailover), L"Échec de bascule");  // the first entry
  EXPECT_EQ(helper.getAlertCategoryName(kFailover), L"Système");       // the last entry
  EXPECT_EQ(helper.getAlertTypeName(3), L"");
  EXPECT_EQ(helper.getAlertCategoryName(3), L"");
  GetAlertDetailForClientResp empty;
  AlertTokenHelper none(empty, kFailover, 0);
  EXPECT_EQ(none.getAlertTypeName(kFailover), L"");
  EXPECT_EQ(none.getAlertCategoryName(kFailover), L"");
  EXPECT_FALSE(empty.isSet(GetAlertDetailForClientResp::alertTypeCatalog));
}

}  // namespace
