#include "delivery/mail/PreparedMail.h"

#include "delivery/mail/MailResult.h"

namespace tarnalert {
namespace detail {

int64_t PrepareMail(const MailSettings& settings, const std::string& request, int deliveryOptions,
                    time_t date, PreparedMail* mail, std::vector<AddressNote>* notes,
                    std::string* error) {
  const int64_t code = ReadMailRequest(request, deliveryOptions, settings.from, &mail->content,
                                       &mail->envelope, notes, error);
  if (code != kMailDelivered) return code;
  mail->content.hostName = settings.hostName;
  mail->content.date = date;
  if (!BuildMailMessage(mail->content, &mail->message, &mail->messageId)) {
    *error = "the message could not be built";
    return kMailRequestUnusable;
  }
  return kMailDelivered;
}

}  // namespace detail
}  // namespace tarnalert
