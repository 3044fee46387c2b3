#include "delivery/mail/MailRequest.h"

#include <algorithm>

#include "delivery/mail/MailResult.h"
#include "platform/text/MailAddress.h"
#include "tarnalert/alertclient/DeliveryOptions.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/message/Messages.h"

namespace tarnalert {
namespace detail {

namespace {

constexpr const char* kTag = "DeliverEmail";

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

// Reads the mailbox `text` of the `role` ("To", "sender") into `mailbox`;
// false (with an error line) when it is not valid.
bool CheckedMailbox(const std::string& text, const char* role, MailAddress* mailbox) {
  if (ReadMailbox(text, mailbox)) return true;
  EvEvent().Error(kTag, "the %s address \"%s\" is not a valid e-mail address; left out", role,
                  text.c_str());
  return false;
}

void AddRecipients(const HqMessageList& list, const char* role, std::vector<MailAddress>* header,
                   MailEnvelope* envelope, std::vector<AddressNote>* notes) {
  for (const HqMessageBase& email : list) {
    const std::string text = HeaderValue(email.get(App::Email::address), role);
    MailAddress mailbox;
    if (!CheckedMailbox(text, role, &mailbox)) {
      notes->push_back({AddressNote::kLeftOut, role, text, "not a valid e-mail address", ""});
      continue;
    }
    if (header != nullptr) header->push_back(mailbox);
    if (std::find(envelope->recipients.begin(), envelope->recipients.end(), mailbox.address) ==
        envelope->recipients.end()) {
      envelope->recipients.push_back(mailbox.address);
    }
  }
}

}  // namespace

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

int64_t ReadMailRequest(const std::string& request, int deliveryOptions,
                        const std::string& defaultSender, MailContent* content,
                        MailEnvelope* envelope, std::vector<AddressNote>* notes,
                        std::string* error) {
  App::EmailInfo info;
  if (info.unserialize(request) != 0) {
    *error = "the e-mail request cannot be read (see the reader's line in the debug log)";
    return kMailRequestUnusable;
  }
  *content = MailContent();
  *envelope = MailEnvelope();

  AddRecipients(info.list(App::EmailInfo::toList), "To", &content->to, envelope, notes);
  AddRecipients(info.list(App::EmailInfo::ccList), "Cc", &content->cc, envelope, notes);
  AddRecipients(info.list(App::EmailInfo::bccList), "Bcc", nullptr, envelope, notes);
  if (envelope->recipients.empty()) {
    *error = "no valid recipient";
    return kMailRequestUnusable;
  }
  content->subject = HeaderValue(info.get(App::EmailInfo::subject), "subject");
  content->body = info.get(App::EmailInfo::body);
  content->html = info.get(App::EmailInfo::usedEmbedded) != 0;
  content->highImportance = (deliveryOptions & kDeliveryOptionImportant) != 0;

  // The request's sender, else the default one; a name of the request wins
  // over a name written with its address.
  const HqMessageBase& from = info.child(App::EmailInfo::from);
  const std::string sender = HeaderValue(from.get(App::Email::address), "sender");
  const bool senderValid = !sender.empty() && CheckedMailbox(sender, "sender", &content->from);
  if (senderValid) {
    const std::string name = HeaderValue(from.get(App::Email::displayName), "sender name");
    if (!name.empty()) content->from.displayName = name;
  } else if (!ReadMailbox(defaultSender, &content->from)) {
    *error = "no valid sender: the request names " +
             (sender.empty() ? std::string("none") : "\"" + sender + "\"") +
             " and TARNALERT_MAIL_FROM \"" + defaultSender + "\" is not a valid address";
    return kMailSettingsWrong;
  } else if (!sender.empty()) {
    notes->push_back({AddressNote::kSenderReplaced, "sender", sender, "not a valid e-mail address",
                      content->from.address});
  }
  envelope->sender = content->from.address;
  return kMailDelivered;
}

std::string RecipientRole(const MailContent& content, const std::string& address) {
  for (const auto& [role, list] :
       {std::make_pair("To", &content.to), std::make_pair("Cc", &content.cc)}) {
    for (const MailAddress& mailbox : *list) {
      if (mailbox.address == address) return role;
    }
  }
  return "Bcc";
}

}  // namespace detail
}  // namespace tarnalert
