#include "tarnalert/platform/message/Messages.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>

#include "platform/message/MessageRegistry.h"

namespace {

namespace detail = tarnalert::detail;

// The registry is what the text form relies on: each class findable both
// ways (so names and numbers are unique), field numbers unique, children known.
// (That fields are found by name and index, every class's round trip shows.)
TEST(MessagesTest, RegistryIsConsistent) {
  ASSERT_EQ(detail::MessageClassCount(), 20u);
  for (size_t c = 0; c < detail::MessageClassCount(); ++c) {
    const tarnalert::ClassInfo& cls = detail::MessageClassAt(c);
    SCOPED_TRACE(cls.qualifiedName);
    EXPECT_EQ(tarnalert::FindClass(cls.module, cls.classNumber), &cls);
    ASSERT_NE(detail::FindLayout(cls.module, cls.classNumber), nullptr);
    EXPECT_EQ(detail::FindLayout(cls.module, cls.classNumber)->cls, &cls);
    EXPECT_EQ(tarnalert::FindClassByXmlName(cls.xmlName), &cls);
    EXPECT_EQ(detail::NewMessage(cls.module, cls.classNumber)->getTagID(),
              tarnalert::MakeTypeKey(cls.module, cls.classNumber));
    std::set<int> fieldNumbers;
    for (const tarnalert::FieldInfo* f = cls.fields; f != cls.fields + cls.fieldCount; ++f) {
      EXPECT_TRUE(fieldNumbers.insert(f->number).second) << f->name;
      EXPECT_EQ(f->typeKey, tarnalert::MakeTypeKey(cls.module, cls.classNumber)) << f->name;
      if (f->kind == tarnalert::FieldKind::kChild || f->kind == tarnalert::FieldKind::kList) {
        EXPECT_NE(tarnalert::FindClass(f->childModule, f->childClass), nullptr) << f->name;
      }
    }
  }
  EXPECT_EQ(tarnalert::FindClassByXmlName("item"), nullptr);  // the entry of text lists
  // Pairs that are not classes: swapped, neighbours, negative, far out.
  const std::pair<int, int> strangers[] = {{138, 1}, {1, 137},  {1, 244},  {30, 2144},
                                           {2, 138}, {-1, 138}, {1, -138}, {1 << 30, 1 << 30}};
  for (const auto& [module, classNumber] : strangers) {
    EXPECT_EQ(tarnalert::FindClass(module, classNumber), nullptr) << module << ", " << classNumber;
    EXPECT_EQ(detail::FindLayout(module, classNumber), nullptr) << module << ", " << classNumber;
  }
}

// The annotated example of docs/configuration.md must stay a valid
// configuration that says what its notes say.
TEST(MessagesTest, DocumentedExampleReadsAsDescribed) {
  std::ifstream file(std::string(TARNALERT_SOURCE_DIR) + "/docs/configuration.md");
  const std::string doc((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // Without the block, what is cut out does not read as a configuration.
  const size_t start = doc.find("```xml\n") + 7, end = doc.find("\n```", start);
  KTGui::GetAlertDetailForClientResp config;
  ASSERT_EQ(config.unserialize(doc.substr(start, end - start)), 0);

  using KTGui::AlertDetail;
  HqMessageList& rules = config.list(KTGui::GetAlertDetailForClientResp::alertDetails);
  ASSERT_EQ(rules.size(), 2u);
  std::set<int64_t> formats, recipientTypes;
  for (HqMessageBase& rule : rules) {
    HqMessageBase& type = rule.child(AlertDetail::alert).child(KTGui::AlertInfo::alertType);
    EXPECT_EQ(type.get(KTGui::IdName::id), 74);
    formats.insert(
        rule.list(AlertDetail::notifMessages).at(0).get(KTGui::AlertNotifMsg::messageFormat));
    for (HqMessageBase& user : rule.list(AlertDetail::nonNebrixUsers)) {
      recipientTypes.insert(user.get(KTGui::NTNonNebrixUser::recipientType));
    }
  }
  EXPECT_EQ(formats, (std::set<int64_t>{0, 1}));
  EXPECT_EQ(recipientTypes, (std::set<int64_t>{0, 1, 2}));
  // Markup escaped once in the file is read as text that still holds escapes.
  const std::string& html =
      rules[0].list(AlertDetail::notifMessages)[0].get(KTGui::AlertNotifMsg::htmlTemplate);
  EXPECT_EQ(html.rfind("Subject: [<Severity>] <Alert Name> on <Tarnhold Name>\n<html>", 0), 0u);
  EXPECT_NE(html.find("<p>&lt;Alert Name&gt; (ID &lt;Alert ID&gt;"), std::string::npos);
  HqMessageList& types = config.child(KTGui::GetAlertDetailForClientResp::alertTypeCatalog)
                             .list(KTGui::AlertTypeCatalog::alertTypes);
  EXPECT_EQ(types.at(0).get(KTGui::AlertTypeListItem::nameMessageId), 0x4a000310);
  EXPECT_EQ(config.get(KTGui::GetAlertDetailForClientResp::tarnholdName), "Tarnhold East");
}

}  // namespace
