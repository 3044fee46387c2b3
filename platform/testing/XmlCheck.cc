#include "platform/testing/XmlCheck.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/testing/TestUtil.h"

namespace tarnalert {
namespace test {

std::vector<LabelledText> HostileTexts() {
  std::vector<LabelledText> texts;
  std::string all;
  for (int byte = 0; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    texts.push_back({"byte " + std::to_string(byte), std::string("a") + c + "z"});
    all.push_back(c);
  }
  texts.push_back({"all 256 bytes", all});
  std::string controls;
  for (size_t i = 0; controls.size() < (size_t{1} << 20); ++i) {
    controls.push_back(static_cast<char>(i % 32));
  }
  texts.push_back({"1 MiB of control characters", controls});
  const std::vector<LabelledText> more = {
      {"colour escape", "\x1b[31mdisk full\x1b[0m"},
      {"cursor and title escapes", "\x1b[2J\x1b[H\x1b]0;title\x07 \x1bP+q\x1b\\"},
      {"Latin-1 byte", "caf\xe9"},
      {"over-long slash", "\xC0\xAF"},
      {"cut sequence", "euro \xE2\x82"},
      {"lone continuation", "\x80 x \xBF"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80"},
      {"NUL", std::string("a\0b", 3)},
      {"only NUL", std::string(1, '\0')},
      {"surrogate pair in UTF-8", "\xED\xA0\xBD\xED\xB4\x94"},
      {"lone low surrogate in UTF-8", "\xED\xB0\x80"},
      {"U+FFFE", "\xEF\xBF\xBE"},
      {"U+FFFF", "x\xEF\xBF\xBFy"},
      {"carried: markup", "<b>&amp;</b> ]]> \"q\" 'a'"},
      {"carried: line ends and blanks", " \t\r\n\r x \n"},
      {"carried: non-ASCII",
       "Gr\xC3\xBC\xC3\x9F"
       "e \xE6\x9D\xB1 \xF0\x9F\x94\x94 \xEF\xBF\xBD \x7F \xC2\x85"},
      {"carried: empty", ""},
      {"carried: blanks only", " \n\t "},
      {"carried: base64-looking", "QUJD"},
  };
  texts.insert(texts.end(), more.begin(), more.end());
  return texts;
}

std::vector<std::wstring> HostileWideTexts() {
  return {
      std::wstring(1, static_cast<wchar_t>(0xD800)),
      L"a" + std::wstring(1, static_cast<wchar_t>(0xDC00)) + L"b",
      std::wstring(1, static_cast<wchar_t>(0xDFFF)) + std::wstring(1, static_cast<wchar_t>(0xD83D)),
      L"x" + std::wstring(1, static_cast<wchar_t>(0x110000)),
      L"esc \x1b[1m bold \x01\x02",
      std::wstring(1, L'\0') + L"nul"};
}

::testing::AssertionResult XmlLintAccepts(const std::vector<LabelledText>& documents) {
  if (system("command -v xmllint >/dev/null 2>&1") != 0) {
    return ::testing::AssertionFailure()
           << "xmllint not found: install the Debian package libxml2-utils";
  }
  char pattern[] = "/tmp/tarnalert-xmllint-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return ::testing::AssertionFailure() << "no scratch directory";
  const std::string directory = pattern;
  std::string command = "cd " + directory + " && xmllint --noout";
  for (size_t i = 0; i < documents.size(); ++i) {
    const std::string name = std::to_string(i) + ".xml";
    std::ofstream(directory + "/" + name, std::ios::binary) << documents[i].text;
    command += " " + name;
  }
  command += " 2>errors";
  const int status = system(command.c_str());
  const std::string errors = ReadWhole(directory + "/errors");
  std::filesystem::remove_all(directory);
  if (status == 0 && errors.empty()) return ::testing::AssertionSuccess();
  ::testing::AssertionResult failure = ::testing::AssertionFailure();
  failure << "xmllint refused:";
  for (size_t i = 0; i < documents.size(); ++i) {
    if (errors.find(std::to_string(i) + ".xml:") == 0 ||
        errors.find("\n" + std::to_string(i) + ".xml:") != std::string::npos) {
      failure << " [" << documents[i].label << "]";
    }
  }
  return failure << "\n" << errors.substr(0, 4000);
}

}  // namespace test
}  // namespace tarnalert
