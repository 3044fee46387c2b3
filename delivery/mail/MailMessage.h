// The e-mail message of one notification as it travels: headers, a
// text/plain part or a multipart/alternative of text and HTML, UTF-8, CRLF
// line ends, quoted-printable bodies, non-ASCII header text encoded so that
// any reader decodes it back. Built with GMime; its reference-counted objects
// stay inside MailMessage.cc.
//
// The values handed in must already be safe for a header (no control
// characters, checked addresses; see MailRequest.h). Safe to call from any
// thread; GMime is set up once for the process.
#ifndef TARNALERT_DELIVERY_MAILMESSAGE_H_
#define TARNALERT_DELIVERY_MAILMESSAGE_H_

#include <ctime>
#include <string>
#include <vector>

#include "platform/text/MailAddress.h"

namespace tarnalert {
namespace detail {

struct MailContent {
  MailAddress from;
  std::vector<MailAddress> to;
  std::vector<MailAddress> cc;  // blind copies never appear in the message
  std::string subject;          // UTF-8, one line
  std::string body;             // UTF-8; HTML when `html`
  bool html = false;
  bool highImportance = false;  // "Importance: high"
  std::string hostName;         // the domain of the Message-ID
  time_t date = 0;
};

// Builds the whole message text of `content` into `message`; its Message-ID
// (without angle brackets) goes into `messageId`. False only when GMime
// fails to write the message.
bool BuildMailMessage(const MailContent& content, std::string* message, std::string* messageId);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_MAILMESSAGE_H_
