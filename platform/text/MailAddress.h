// The one rule for an e-mail address as a person writes it, shared by the
// configuration check and the mail delivery: an RFC 5322 mailbox, either a
// bare address ("oncall@example.com") or a display name with the address in
// angle brackets ("Oncall Team <oncall@example.com>", "\"Ops, Nord\"
// <ops@example.com>").
//
// The address itself is a dot-atom local part of ASCII characters (at most
// 64) and a domain of letter-digit-hyphen labels; quoted local parts,
// address literals and comments are refused, because not every server
// takes them. A display name may hold any text but control characters.
//
// Plain functions without state; safe from any thread.
#ifndef TARNALERT_PLATFORM_TEXT_MAILADDRESS_H_
#define TARNALERT_PLATFORM_TEXT_MAILADDRESS_H_

#include <string>

namespace tarnalert {
namespace detail {

struct MailAddress {
  std::string displayName;  // UTF-8, unquoted; empty: the address alone
  std::string address;      // local@domain
};

// True when `address` is a bare address local@domain by the rule above.
bool IsValidMailAddress(const std::string& address);

// Reads the mailbox `text` (blanks around it ignored) into `mailbox`. False,
// leaving `mailbox` unchanged, when `text` is not one mailbox by the rule
// above.
bool ReadMailbox(const std::string& text, MailAddress* mailbox);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_TEXT_MAILADDRESS_H_
