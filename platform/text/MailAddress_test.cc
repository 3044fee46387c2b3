#include "platform/text/MailAddress.h"

#include <gtest/gtest.h>

namespace tarnalert {
namespace detail {
namespace {

struct MailboxCase {
  const char* text;
  bool valid;
  const char* name;     // when valid
  const char* address;  // when valid
};

TEST(MailAddressTest, MailboxesAsPeopleWriteThemAreReadAndTheRestRefused) {
  const std::string longLocal(65, 'a');
  const std::string longestLocal(64, 'a');
  const MailboxCase cases[] = {
      {"ops@example.com", true, "", "ops@example.com"},
      {"  ops@example.com\t", true, "", "ops@example.com"},
      {"Oncall Team <oncall@example.com>", true, "Oncall Team", "oncall@example.com"},
      {"Oncall   Team\t<oncall@example.com>", true, "Oncall Team", "oncall@example.com"},
      {"<oncall@example.com>", true, "", "oncall@example.com"},
      {"\"Ops, Nord\" <ops@example.com>", true, "Ops, Nord", "ops@example.com"},
      {"\"say \\\"hi\\\"\" <ops@example.com>", true, "say \"hi\"", "ops@example.com"},
      {"J. Smith <j.smith+alerts@mail.example.com>", true, "J. Smith",
       "j.smith+alerts@mail.example.com"},
      {"Équipe d'astreinte <astreinte@example.fr>", true, "Équipe d'astreinte",
       "astreinte@example.fr"},
      {"Team<ops@example.com>", true, "Team", "ops@example.com"},
      {"o'brien@example.com", true, "", "o'brien@example.com"},
      {"root@localhost", true, "", "root@localhost"},
      // Refused addresses: the rule delivery can keep.
      {"rémi@example.fr", false, "", ""},
      {"a@b_c.example", false, "", ""},
      {"a.@example.com", false, "", ""},
      {".a@example.com", false, "", ""},
      {"a..b@example.com", false, "", ""},
      {"a@-x.example", false, "", ""},
      {"a@example..com", false, "", ""},
      {"a@", false, "", ""},
      {"ops@@example.com", false, "", ""},
      {"ops @example.com", false, "", ""},
      {"ops@example.com.", false, "", ""},
      {"@example.com", false, "", ""},
      {"not an address", false, "", ""},
      {"", false, "", ""},
      {"   ", false, "", ""},
      {"\"quoted local\"@example.com", false, "", ""},
      {"ops@[127.0.0.1]", false, "", ""},
      {"ops@example.com (Ops)", false, "", ""},
      // Refused mailboxes: more than one, unbalanced, specials, controls.
      {"a@example.com, b@example.com", false, "", ""},
      {"A <a@example.com>, B <b@example.com>", false, "", ""},
      {"Ops <ops@example.com", false, "", ""},
      {"Ops ops@example.com>", false, "", ""},
      {"\"Ops <ops@example.com>", false, "", ""},
      {"Ops, Nord <ops@example.com>", false, "", ""},
      {"Ops: <ops@example.com>", false, "", ""},
      {"Ops <ops@example.com> trailing", false, "", ""},
      {"Ops\r\nBcc: x@example.com <ops@example.com>", false, "", ""},
      {"\"Ops\r\n\" <ops@example.com>", false, "", ""},
      {"Ops < ops@example.com>", false, "", ""},
      {"Ops <>", false, "", ""},
  };
  for (const MailboxCase& row : cases) {
    SCOPED_TRACE(row.text);
    MailAddress mailbox{"kept", "kept"};
    EXPECT_EQ(ReadMailbox(row.text, &mailbox), row.valid);
    if (row.valid) {
      EXPECT_EQ(mailbox.displayName, row.name);
      EXPECT_EQ(mailbox.address, row.address);
    } else {
      EXPECT_EQ(mailbox.address, "kept") << "a refused mailbox changes nothing";
    }
  }
  MailAddress mailbox;
  EXPECT_TRUE(ReadMailbox(longestLocal + "@example.com", &mailbox));
  EXPECT_FALSE(ReadMailbox(longLocal + "@example.com", &mailbox));
  EXPECT_FALSE(ReadMailbox("a@" + std::string(250, 'b') + ".com", &mailbox));
}

TEST(MailAddressTest, ABareAddressCheckRefusesADisplayName) {
  EXPECT_TRUE(IsValidMailAddress("ops@example.com"));
  EXPECT_FALSE(IsValidMailAddress("Ops <ops@example.com>"));
  EXPECT_FALSE(IsValidMailAddress("ops@example.com "));
}

}  // namespace
}  // namespace detail
}  // namespace tarnalert
