#include "delivery/mail/MailRequest.h"

#include <gtest/gtest.h>

namespace tarnalert {
namespace detail {
namespace {

TEST(MailRequestTest, ControlCharactersBecomeSpacesAndOtherTextStays) {
  const struct {
    std::string text, expected;
    bool changed;
  } cases[] = {
      {"Failover on nœud-7 — 故障", "Failover on nœud-7 — 故障", false},
      {"a\r\nBcc: x", "a  Bcc: x", true},
      {std::string("t\tab\x7f") + '\0' + "z", "t ab  z", true},
      {"c1\xC2\x85line", "c1 line", true},
  };
  for (const auto& row : cases) {
    bool changed = !row.changed;
    EXPECT_EQ(WithoutControlCharacters(row.text, &changed), row.expected) << row.expected;
    EXPECT_EQ(changed, row.changed) << row.expected;
  }
}

}  // namespace
}  // namespace detail
}  // namespace tarnalert
