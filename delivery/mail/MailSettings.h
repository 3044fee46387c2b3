// The mail transport settings (TARNALERT_MAIL_*, see docs/delivery.md), read
// through the Env so that tests and tools can set them, and the reading of
// the password file they name.
//
// Every function here runs on the caller's thread and keeps no state.
#ifndef TARNALERT_DELIVERY_MAILSETTINGS_H_
#define TARNALERT_DELIVERY_MAILSETTINGS_H_

#include <string>

#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {
namespace detail {

enum class MailTransport {
  kNone,   // MAIL_URL unset or empty: nothing is delivered
  kSmtp,   // smtp://host[:port], STARTTLS as MAIL_TLS says
  kSmtps,  // smtps://host[:port], TLS from the first byte
  kFile,   // file:///directory, one .eml file per message
};

// How an smtp:// transport uses STARTTLS.
enum class MailTls {
  kRequired,       // no STARTTLS offered: nothing is sent
  kOpportunistic,  // STARTTLS when offered, else plain text
  kNone,           // never STARTTLS (a relay on the loopback)
};

struct MailSettings {
  MailTransport transport = MailTransport::kNone;
  std::string url;        // smtp(s)://host:port/, without user or path
  std::string server;     // host:port, for messages
  std::string directory;  // the file transport's directory
  MailTls tls = MailTls::kRequired;
  std::string caFile;        // a private CA's certificates; empty: the system's
  std::string user;          // empty: no AUTH
  std::string passwordFile;  // read at each delivery
  long connectTimeout = 10;  // seconds
  long timeout = 60;         // seconds, the whole delivery
  std::string from;          // envelope sender when the request names none
  std::string hostName;      // this client as a domain: Message-ID, EHLO
};

// Reads the MAIL_* settings from `env`. On a wrong setting returns false with
// a sentence naming it and saying what is accepted in `error`.
bool ReadMailSettings(Env* env, MailSettings* settings, std::string* error);

// Reads the password from `path` (one line; a final line break is dropped)
// with the reader of private files (platform/files/TrustedFile.h): a
// regular file of the user or root that group and others may neither read
// nor write. Fails with that reader's message, or "the password file P is
// empty". The caller wipes the password after use (WipeSecret).
CYqError ReadPasswordFile(Env* env, const std::string& path, std::string* password);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_MAILSETTINGS_H_
