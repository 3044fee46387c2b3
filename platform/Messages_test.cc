#include "platform/Messages.h"

#include <gtest/gtest.h>

#include <set>
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

}  // namespace
