#include "delivery/mail/MailRequest.h"

#include <gtest/gtest.h>

namespace tarnalert {
namespace detail {
namespace {

TEST(MailRequestTest, AddressCheckAcceptsMailboxesOnly) {
  const struct {
    const char* address;
    bool valid;
  } cases[] = {
      {"ops@example.com", true},
      {"first.last+tag@mail.example.co", true},
      {"o'brien@example.com", true},
      {"root@localhost", true},
      {"", false},
      {"ops", false},
      {"@example.com", false},
      {"ops@", false},
      {"ops@@example.com", false},
      {"ops @example.com", false},
      {".ops@example.com", false},
      {"o..ps@example.com", false},
      {"ops@example..com", false},
      {"ops@-example.com", false},
      {"ops@example.com.", false},
      {"Ops <ops@example.com>", false},
      {"ops@example.com\r\nBcc: x@example.com", false},
      {"nœud@example.com", false},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(IsValidMailAddress(row.address), row.valid) << row.address;
  }
  EXPECT_FALSE(IsValidMailAddress(std::string(65, 'a') + "@example.com"));
}

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
