#include "delivery/mail/MailRequest.h"

#include <algorithm>
#include <cstring>

#include "alertclient/detail/DeliveryOptions.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/message/Messages.h"

namespace tarnalert {
namespace detail {

namespace {

constexpr const char* kTag = "DeliverEmail";

bool IsAtext(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::strchr("!#$%&'*+-/=?^_`{|}~", c) != nullptr && c != '\0';
}

bool IsDomainLabel(const std::string& label) {
  if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') {
    return false;
  }
  return std::all_of(label.begin(), label.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
  });
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A header value made safe, with a debug line when it had to change.
std::string HeaderValue(const std::string& value, const char* what) {
  bool changed = false;
  std::string safe = Trimmed(WithoutControlCharacters(value, &changed));
  if (changed) {
    EvEvent().DebugLvl(kTag, 1, "control characters in the %s became spaces: \"%s\"", what,
                       safe.c_str());
  }
  return safe;
}

// The address of `email` cleaned and checked; empty (with an error line)
// when it is not valid.
std::string CheckedAddress(const HqMessageBase& email, const char* role) {
  const std::string address = HeaderValue(email.get(App::Email::address), role);
  if (IsValidMailAddress(address)) return address;
  EvEvent().Error(kTag, "the %s address \"%s\" is not a valid e-mail address; left out", role,
                  address.c_str());
  return "";
}

void AddRecipients(const HqMessageList& list, const char* role, std::vector<MailAddress>* header,
                   MailEnvelope* envelope) {
  for (const HqMessageBase& email : list) {
    std::string address = CheckedAddress(email, role);
    if (address.empty()) continue;
    if (header != nullptr) header->push_back({"", address});
    if (std::find(envelope->recipients.begin(), envelope->recipients.end(), address) ==
        envelope->recipients.end()) {
      envelope->recipients.push_back(address);
    }
  }
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

std::string WithoutControlCharacters(const std::string& text, bool* changed) {
  std::string out;
  out.reserve(text.size());
  *changed = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    // C1 controls are U+0080..U+009F: 0xC2 0x80..0x9F in UTF-8.
    const bool c1 = c == 0xC2 && i + 1 < text.size() &&
                    static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (c < 0x20 || c == 0x7F || c1) {
      out += ' ';
      *changed = true;
      if (c1) ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

bool ReadMailRequest(const std::string& request, int deliveryOptions,
                     const std::string& defaultSender, MailContent* content, MailEnvelope* envelope,
                     std::string* error) {
  App::EmailInfo info;
  if (info.unserialize(request) != 0) {
    *error = "the e-mail request cannot be read (see the reader's line in the debug log)";
    return false;
  }
  *content = MailContent();
  *envelope = MailEnvelope();

  const HqMessageBase& from = info.child(App::EmailInfo::from);
  if (!from.get(App::Email::address).empty()) {
    content->from.address = CheckedAddress(from, "sender");
    content->from.displayName = HeaderValue(from.get(App::Email::displayName), "sender name");
  }
  if (content->from.address.empty()) {
    content->from = MailAddress{"", defaultSender};
    if (!IsValidMailAddress(defaultSender)) {
      *error = "no valid sender: the request names none and TARNALERT_MAIL_FROM \"" +
               defaultSender + "\" is not a valid address";
      return false;
    }
  }
  envelope->sender = content->from.address;

  AddRecipients(info.list(App::EmailInfo::toList), "To", &content->to, envelope);
  AddRecipients(info.list(App::EmailInfo::ccList), "Cc", &content->cc, envelope);
  AddRecipients(info.list(App::EmailInfo::bccList), "Bcc", nullptr, envelope);
  if (envelope->recipients.empty()) {
    *error = "no valid recipient";
    return false;
  }

  content->subject = HeaderValue(info.get(App::EmailInfo::subject), "subject");
  content->body = info.get(App::EmailInfo::body);
  content->html = info.get(App::EmailInfo::usedEmbedded) != 0;
  content->highImportance = (deliveryOptions & kOptionLowestSeverityOne) != 0;
  return true;
}

}  // namespace detail
}  // namespace tarnalert
