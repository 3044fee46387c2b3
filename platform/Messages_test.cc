#include "platform/Messages.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <utility>

#include "platform/detail/MessageRegistry.h"

namespace {

using tarnalert::ClassInfo;
using tarnalert::FieldKind;
namespace detail = tarnalert::detail;

// The registry is what the text form relies on: each class findable both
// ways, names unique, fields consistent with their class, children known.
TEST(MessagesTest, RegistryIsConsistent) {
  ASSERT_EQ(detail::MessageClassCount(), 20u);
  std::set<std::string> xmlNames;
  std::set<std::pair<int, int>> numbers;
  for (size_t c = 0; c < detail::MessageClassCount(); ++c) {
    const ClassInfo& cls = detail::MessageClassAt(c);
    SCOPED_TRACE(cls.qualifiedName);
    EXPECT_TRUE(xmlNames.insert(cls.xmlName).second);
    EXPECT_TRUE(numbers.insert({cls.module, cls.classNumber}).second);
    EXPECT_EQ(tarnalert::FindClass(cls.module, cls.classNumber), &cls);
    EXPECT_EQ(tarnalert::FindClassByXmlName(cls.xmlName), &cls);
    EXPECT_EQ(detail::NewMessage(cls.module, cls.classNumber)->getTagID(),
              tarnalert::MakeTypeKey(cls.module, cls.classNumber));
    std::set<std::string> names;
    std::set<int> indexes, fieldNumbers;
    for (size_t i = 0; i < cls.fieldCount; ++i) {
      const tarnalert::FieldInfo& f = cls.fields[i];
      EXPECT_TRUE(names.insert(f.name).second) << f.name;
      EXPECT_TRUE(indexes.insert(f.index).second) << f.name;
      EXPECT_TRUE(fieldNumbers.insert(f.number).second) << f.name;
      EXPECT_EQ(f.typeKey, tarnalert::MakeTypeKey(cls.module, cls.classNumber)) << f.name;
      EXPECT_EQ(detail::FindFieldByName(cls, f.name), &f);
      EXPECT_EQ(detail::FindFieldByIndex(cls, f.index), &f);
      if (f.kind == FieldKind::kChild || f.kind == FieldKind::kList) {
        EXPECT_NE(tarnalert::FindClass(f.childModule, f.childClass), nullptr) << f.name;
      }
    }
  }
  EXPECT_EQ(tarnalert::FindClass(1, 9999), nullptr);
  EXPECT_EQ(tarnalert::FindClassByXmlName("item"), nullptr);
  EXPECT_EQ(tarnalert::FindClassByXmlName("KTGui::IdName"), nullptr);
}

// The annotated example of docs/configuration.md must stay a valid
// configuration that says what its notes say.
TEST(MessagesTest, DocumentedExampleReadsAsDescribed) {
  std::ifstream file(std::string(TARNALERT_SOURCE_DIR) + "/docs/configuration.md");
  std::stringstream content;
  content << file.rdbuf();
  const std::string doc = content.str();
  const size_t start = doc.find("```xml\n");
  ASSERT_NE(start, std::string::npos);
  const size_t end = doc.find("\n```", start + 7);
  ASSERT_NE(end, std::string::npos);
  KTGui::GetAlertDetailForClientResp config;
  ASSERT_EQ(config.unserialize(doc.substr(start + 7, end - start - 7)), 0);

  using KTGui::AlertDetail;
  using KTGui::AlertNotifMsg;
  HqMessageList& rules = config.list(KTGui::GetAlertDetailForClientResp::alertDetails);
  ASSERT_EQ(rules.size(), 2u);
  std::set<int64_t> formats, recipientTypes;
  for (HqMessageBase& rule : rules) {
    EXPECT_EQ(
        rule.child(AlertDetail::alert).child(KTGui::AlertInfo::alertType).get(KTGui::IdName::id),
        74);
    HqMessageBase& notif = rule.list(AlertDetail::notifMessages).at(0);
    EXPECT_EQ(notif.get(AlertNotifMsg::notifType), 1);
    formats.insert(notif.get(AlertNotifMsg::messageFormat));
    for (HqMessageBase& user : rule.list(AlertDetail::nonNebrixUsers)) {
      recipientTypes.insert(user.get(KTGui::NTNonNebrixUser::recipientType));
    }
  }
  EXPECT_EQ(formats, (std::set<int64_t>{0, 1}));
  EXPECT_EQ(recipientTypes, (std::set<int64_t>{0, 1, 2}));
  const std::string& html =
      rules[0].list(AlertDetail::notifMessages)[0].get(AlertNotifMsg::htmlTemplate);
  EXPECT_EQ(html.rfind("Subject: [<Severity>] <Alert Name> on <Tarnhold Name>\n<html>", 0), 0u);
  EXPECT_NE(html.find("<p>&lt;Alert Name&gt; (ID &lt;Alert ID&gt;"), std::string::npos);

  HqMessageBase& catalog = config.child(KTGui::GetAlertDetailForClientResp::alertTypeCatalog);
  EXPECT_EQ(catalog.list(KTGui::AlertTypeCatalog::alertCategories).size(), 2u);
  HqMessageBase& type = catalog.list(KTGui::AlertTypeCatalog::alertTypes).at(0);
  EXPECT_EQ(type.get(KTGui::AlertTypeListItem::alertTypeId), 74);
  EXPECT_EQ(type.get(KTGui::AlertTypeListItem::nameMessageId), 0x4a000310);
  EXPECT_EQ(type.list(KTGui::AlertTypeListItem::availCriteria).size(), 3u);
  EXPECT_EQ(config.get(KTGui::GetAlertDetailForClientResp::tarnholdName), "Tarnhold East");
}

}  // namespace
