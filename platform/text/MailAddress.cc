#include "platform/text/MailAddress.h"

#include <algorithm>
#include <cstring>

namespace tarnalert {
namespace detail {

namespace {

bool IsAsciiLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// A character of an atom in an address (RFC 5322 atext).
bool IsAtext(char c) {
  return IsAsciiLetterOrDigit(c) || (c != '\0' && std::strchr("!#$%&'*+-/=?^_`{|}~", c) != nullptr);
}

bool IsControl(unsigned char c) { return c < 0x20 || c == 0x7f; }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A character of a word of a display name: atext, a dot (common in names
// such as "J. Smith") or any byte of a UTF-8 sequence.
bool IsNameCharacter(char c) {
  return IsAtext(c) || c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

bool IsDomainLabel(const std::string& label) {
  if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
    return false;
  }
  return std::all_of(label.begin(), label.end(),
                     [](char c) { return IsAsciiLetterOrDigit(c) || c == '-'; });
}

// Reads the display name `text` (the words before the angle brackets) into
// `name`: atoms and quoted strings separated by blanks, joined by one blank.
bool ReadDisplayName(const std::string& text, std::string* name) {
  name->clear();
  size_t at = 0;
  while (at < text.size()) {
    if (IsBlank(text[at])) {
      ++at;
      continue;
    }
    if (!name->empty()) *name += ' ';
    if (text[at] == '"') {
      for (++at;; ++at) {
        if (at >= text.size()) return false;  // no closing quote
        const char c = text[at];
        if (c == '"') break;
        if (c == '\\' && ++at >= text.size()) return false;
        if (IsControl(static_cast<unsigned char>(text[at])) && !IsBlank(text[at])) return false;
        *name += text[at];
      }
      ++at;
      if (at < text.size() && !IsBlank(text[at])) return false;  // a word must end here
      continue;
    }
    const size_t start = at;
    while (at < text.size() && IsNameCharacter(text[at])) ++at;
    if (at == start || (at < text.size() && !IsBlank(text[at]))) return false;
    name->append(text, start, at - start);
  }
  return true;
}

// The position of the '<' that opens the angle brackets of `text`, outside
// quoted strings; npos when there is none.
size_t OpeningBracket(const std::string& text) {
  bool quoted = false;
  for (size_t at = 0; at < text.size(); ++at) {
    if (quoted && text[at] == '\\') {
      ++at;
    } else if (text[at] == '"') {
      quoted = !quoted;
    } else if (!quoted && text[at] == '<') {
      return at;
    }
  }
  return std::string::npos;
}

}  // namespace

bool IsValidMailAddress(const std::string& address) {
  const size_t at = address.rfind('@');
  if (at == std::string::npos || at == 0 || at > 64 || address.size() > 254) return false;
  const std::string local = address.substr(0, at);
  const std::string domain = address.substr(at + 1);
  if (local.front() == '.' || local.back() == '.' || local.find("..") != std::string::npos) {
    return false;
  }
  for (char c : local) {
    if (c != '.' && !IsAtext(c)) return false;
  }
  size_t start = 0;
  for (;;) {
    const size_t dot = domain.find('.', start);
    if (!IsDomainLabel(domain.substr(start, dot - start))) return false;
    if (dot == std::string::npos) return true;
    start = dot + 1;
  }
}

bool ReadMailbox(const std::string& text, MailAddress* mailbox) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return false;
  const std::string trimmed = text.substr(first, text.find_last_not_of(" \t") - first + 1);
  if (trimmed.back() != '>') {
    if (!IsValidMailAddress(trimmed)) return false;
    *mailbox = MailAddress{"", trimmed};
    return true;
  }
  const size_t open = OpeningBracket(trimmed);
  if (open == std::string::npos) return false;
  const std::string address = trimmed.substr(open + 1, trimmed.size() - open - 2);
  std::string name;
  if (!IsValidMailAddress(address) || !ReadDisplayName(trimmed.substr(0, open), &name)) {
    return false;
  }
  *mailbox = MailAddress{name, address};
  return true;
}

}  // namespace detail
}  // namespace tarnalert
