// platform/testing: test doubles and helpers for the tests; never part of
// the library.
//
// Checks of the XML the writers make: a table of texts hostile to XML, and a
// run of an independent parser (xmllint) over a set of documents.
#ifndef TARNALERT_PLATFORM_TESTING_XMLCHECK_H_
#define TARNALERT_PLATFORM_TESTING_XMLCHECK_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnalert {
namespace test {

// A text with the label a failure names it by.
struct LabelledText {
  std::string label;
  std::string text;
};

// Texts a writer must carry byte for byte in well-formed XML: each of the 256
// byte values between two letters, all of them in one text, escape
// sequences, invalid UTF-8, NUL, surrogates spelled in UTF-8, U+FFFE and
// U+FFFF, a mebibyte of control characters, and texts XML carries as they
// are.
std::vector<LabelledText> HostileTexts();

// Wide texts with unpaired surrogates and characters beyond U+10FFFF.
std::vector<std::wstring> HostileWideTexts();

// Success when xmllint (Debian package libxml2-utils) finds every document
// well-formed XML 1.0; otherwise a failure naming the documents it refused,
// with what it said. A missing xmllint is a failure naming the package.
::testing::AssertionResult XmlLintAccepts(const std::vector<LabelledText>& documents);

}  // namespace test
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_TESTING_XMLCHECK_H_
