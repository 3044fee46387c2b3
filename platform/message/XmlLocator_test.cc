#include "platform/message/XmlLocator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using tarnalert::TextPosition;
using tarnalert::XmlPathStep;
using tarnalert::detail::XmlLocator;

std::string Where(const TextPosition& position) {
  return std::to_string(position.line) + ":" + std::to_string(position.column);
}

// A character of an element's text is found in the file however the file
// writes the characters before it.
TEST(XmlLocatorTest, TextOffsetsMapBackThroughEntitiesCdataAndLineEnds) {
  const std::string text =
      "<Root>\r\n"
      " <name>a&lt;&#x20AC;b</name>\r\n"  // "a<€b": the € is three bytes read
      " <body>x\r\ny<![CDATA[<z>]]>w<!-- note -->v</body>\n"
      " <list><item/><item><t>é-t</t></item></list>\n"
      " <empty/><coded encoding=\"base64\">YQ==</coded>\n"
      "</Root>";
  const XmlLocator locator(text);
  const std::vector<XmlPathStep> name = {{"name", 0}}, body = {{"body", 0}};
  const std::vector<XmlPathStep> entry = {{"list", 0}, {"", 1}, {"t", 0}};
  const struct {
    const char* label;
    std::vector<XmlPathStep> path;
    size_t offset;
    std::string where;
  } cases[] = {
      {"first character", name, 0, "2:8"},
      {"an entity is one character", name, 1, "2:9"},
      {"after a character reference of three bytes", name, 5, "2:21"},
      {"inside a character reference", name, 3, "2:13"},
      {"after CR LF, read as one LF", body, 2, "4:1"},
      {"inside CDATA", body, 4, "4:12"},
      {"after CDATA and a comment", body, 7, "4:31"},
      {"the end of the text", body, 8, "4:32"},
      {"past the end: the element", body, 50, "3:2"},
      {"a list entry by position", entry, 2, "5:25"},  // é: two bytes, one column
      {"an empty element", {{"empty", 0}}, 0, "6:2"},
      {"an encoded text: the element", {{"coded", 0}}, 1, "6:10"},
      {"a missing step: the element reached", {{"list", 0}, {"", 5}}, 0, "5:2"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Where(locator.InText(c.path, c.offset)), c.where) << c.label;
  EXPECT_EQ(Where(locator.Element({})), "1:1");
  EXPECT_EQ(Where(XmlLocator("not XML").Element({{"x", 0}})), "0:0");
}

}  // namespace
