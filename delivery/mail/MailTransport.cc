#include "delivery/mail/MailTransport.h"

#include "delivery/mail/FileTransport.h"
#include "delivery/mail/SmtpTransport.h"

namespace tarnalert {
namespace detail {

DeliveryResult TransmitMail(Env* env, const MailSettings& settings, const MailEnvelope& envelope,
                            const std::string& name, const std::string& message) {
  return settings.transport == MailTransport::kFile
             ? WriteToOutbox(env, settings.directory, name, message)
             : SendBySmtp(env, settings, envelope, message);
}

}  // namespace detail
}  // namespace tarnalert
