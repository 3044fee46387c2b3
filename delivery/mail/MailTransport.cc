#include "delivery/mail/MailTransport.h"

#include "delivery/mail/FileTransport.h"
#include "delivery/mail/SmtpTransport.h"

namespace tarnalert {
namespace detail {

Transmission TransmitMail(Env* env, const MailSettings& settings, const MailEnvelope& envelope,
                          const std::string& name, const std::string& message,
                          std::vector<std::string>* conversation, SmtpSession* session) {
  if (settings.transport == MailTransport::kFile) {
    return Transmission{WriteToOutbox(env, settings.directory, name, message), {}};
  }
  return SendBySmtp(env, settings, envelope, message, conversation, session);
}

}  // namespace detail
}  // namespace tarnalert
