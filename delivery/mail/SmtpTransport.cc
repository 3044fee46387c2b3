#include "delivery/mail/SmtpTransport.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "delivery/mail/MailResult.h"
#include "delivery/transfer/CurlTransfer.h"
#include "platform/files/TrustedFile.h"
#include "tarnalert/platform/text/FXString.h"

namespace tarnalert {
namespace detail {

namespace {

constexpr size_t kMostCaBytes = 1 << 20;

// What the conversation showed, for the error text: the last command sent
// (AUTH without its data), the server's last reply line, and the first
// refusal (4xx or 5xx) with the command it answered.
struct Conversation {
  std::string command;
  std::string reply;
  std::string refusedCommand;
  std::string refusal;
  bool inLogin = false;  // lines sent now carry credentials
};

std::string FirstLine(const char* data, size_t size) {
  std::string line(data, size);
  const size_t end = line.find_first_of("\r\n");
  return end == std::string::npos ? line : line.substr(0, end);
}

// A command worth naming in an error text; never a line of a login.
bool IsNamedCommand(const std::string& line) {
  static const char* const kWithArgument[] = {"EHLO ", "HELO ", "MAIL FROM:", "RCPT TO:"};
  for (const char* prefix : kWithArgument) {
    if (line.compare(0, std::strlen(prefix), prefix) == 0) return true;
  }
  return line == "DATA" || line == "QUIT" || line == "STARTTLS";
}

int RecordConversation(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  Conversation* conversation = static_cast<Conversation*>(user);
  if (type == CURLINFO_HEADER_IN) {
    conversation->reply = FirstLine(data, size);
    // A 334 challenge asks for more login data; any other reply ends the login.
    if (conversation->reply.compare(0, 3, "334") != 0) conversation->inLogin = false;
    const char first = conversation->reply.empty() ? '\0' : conversation->reply[0];
    if ((first == '4' || first == '5') && conversation->refusal.empty()) {
      conversation->refusal = conversation->reply;
      conversation->refusedCommand = conversation->command;
    }
  } else if (type == CURLINFO_HEADER_OUT && !conversation->inLogin) {
    const std::string line = FirstLine(data, size);
    if (line.compare(0, 5, "AUTH ") == 0) {
      // Only the mechanism: an initial response holds the credentials.
      conversation->command = line.substr(0, line.find(' ', 5));
      conversation->inLogin = true;
    } else if (IsNamedCommand(line)) {
      conversation->command = line;
    }
  }
  return 0;
}

struct Upload {
  const std::string* message;
  size_t offset;
};

size_t ReadMessage(char* buffer, size_t size, size_t count, void* user) {
  Upload* upload = static_cast<Upload*>(user);
  const size_t left = upload->message->size() - upload->offset;
  const size_t chunk = std::min(left, size * count);
  std::memcpy(buffer, upload->message->data() + upload->offset, chunk);
  upload->offset += chunk;
  return chunk;
}

DeliveryResult Failure(int64_t code, const std::string& text) {
  return DeliveryResult{code, FXString::ToWstring(text)};
}

// The result of a transfer that did not end well, in words a person can act
// on.
DeliveryResult Explain(CURLcode result, long reply, const char* curlText,
                       const Conversation& conversation, const MailSettings& settings) {
  const std::string server = settings.server;
  const std::string detail = curlText[0] != '\0' ? curlText : curl_easy_strerror(result);
  switch (result) {
    case CURLE_USE_SSL_FAILED:
      return Failure(kMailConnectionFailed,
                     "the server " + server +
                         " does not offer STARTTLS and TARNALERT_MAIL_TLS is required; for a "
                         "trusted relay set TARNALERT_MAIL_TLS=opportunistic or none");
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
      return Failure(kMailConnectionFailed,
                     "the certificate of " + server + " cannot be verified (" + detail +
                         "); if it is signed by a private CA, name that CA's certificate in "
                         "TARNALERT_MAIL_CA_FILE");
    case CURLE_SSL_CONNECT_ERROR:
      return Failure(kMailConnectionFailed, "TLS with " + server + " failed: " + detail);
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
      return Failure(kMailConnectionFailed, "cannot connect to " + server + ": " + detail);
    case CURLE_OPERATION_TIMEDOUT:
      return Failure(kMailConnectionFailed,
                     "the server " + server + " did not answer in time (TARNALERT_MAIL_CONNECT_" +
                         "TIMEOUT " + std::to_string(settings.connectTimeout) +
                         " s, TARNALERT_MAIL_TIMEOUT " + std::to_string(settings.timeout) +
                         " s): " + detail);
    default:
      break;
  }
  if (result == CURLE_LOGIN_DENIED) {
    return Failure(reply >= 400 ? reply : kMailConnectionFailed,
                   "the server " + server + " refused the login of " + settings.user + ": " +
                       (conversation.refusal.empty() ? detail : conversation.refusal));
  }
  if (!conversation.refusal.empty()) {
    std::string text = "the server " + server + " refused";
    if (!conversation.refusedCommand.empty()) text += " " + conversation.refusedCommand;
    const int64_t code = reply >= 400 && reply <= 599 ? reply : kMailConnectionFailed;
    return Failure(code, text + ": " + conversation.refusal);
  }
  return Failure(kMailConnectionFailed, "sending to " + server + " failed: " + detail);
}

}  // namespace

DeliveryResult SendBySmtp(Env* env, const MailSettings& settings, const MailEnvelope& envelope,
                          const std::string& message) {
  SetUpCurl();
  CurlHandle curl(curl_easy_init());
  if (!curl) return Failure(kMailConnectionFailed, "cannot set up an SMTP connection");
  CURL* handle = curl.get();

  std::string caCertificates;
  if (!settings.caFile.empty()) {
    CYqError error = ReadTrustedFile(env, "the CA file", settings.caFile, FileKeeping::kTrusted,
                                     kMostCaBytes, &caCertificates);
    if (error.IsError()) {
      return Failure(kMailSettingsWrong, "TARNALERT_MAIL_CA_FILE: " + error.LastMessage());
    }
    if (caCertificates.empty()) {
      return Failure(kMailSettingsWrong, "TARNALERT_MAIL_CA_FILE: " + settings.caFile +
                                             " is empty; it must hold the CA's certificate (PEM)");
    }
  }
  std::string password;
  if (!settings.user.empty()) {
    CYqError error = ReadPasswordFile(env, settings.passwordFile, &password);
    if (error.IsError()) {
      return Failure(kMailSettingsWrong, "TARNALERT_MAIL_PASSWORD_FILE: " + error.LastMessage());
    }
  }

  char curlText[CURL_ERROR_SIZE] = {};
  Conversation conversation;
  Upload upload{&message, 0};
  CurlList recipients;
  for (const std::string& recipient : envelope.recipients) {
    curl_slist* list = curl_slist_append(recipients.get(), ("<" + recipient + ">").c_str());
    if (list == nullptr) return Failure(kMailConnectionFailed, "out of memory");
    recipients.release();
    recipients.reset(list);
  }
  // The path of the URL is the name this client greets the server with.
  const std::string url = settings.url + settings.hostName;
  const std::string sender = "<" + envelope.sender + ">";

  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  SetVerifiedTransfer(handle, "smtp,smtps", curlText, settings.connectTimeout, settings.timeout,
                      caCertificates);
  if (settings.transport == MailTransport::kSmtp) {
    const long useTls = settings.tls == MailTls::kRequired        ? CURLUSESSL_ALL
                        : settings.tls == MailTls::kOpportunistic ? CURLUSESSL_TRY
                                                                  : CURLUSESSL_NONE;
    curl_easy_setopt(handle, CURLOPT_USE_SSL, useTls);
  }
  if (!settings.user.empty()) {
    curl_easy_setopt(handle, CURLOPT_USERNAME, settings.user.c_str());
    curl_easy_setopt(handle, CURLOPT_PASSWORD, password.c_str());
  }
  curl_easy_setopt(handle, CURLOPT_MAIL_FROM, sender.c_str());
  curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, recipients.get());
  curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(handle, CURLOPT_READFUNCTION, ReadMessage);
  curl_easy_setopt(handle, CURLOPT_READDATA, &upload);
  curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, RecordConversation);
  curl_easy_setopt(handle, CURLOPT_DEBUGDATA, &conversation);

  const CURLcode result = curl_easy_perform(handle);
  WipeSecret(&password);
  WipeSecret(&caCertificates);
  if (result == CURLE_OK) return DeliveryResult{0, L""};
  long reply = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &reply);
  return Explain(result, reply, curlText, conversation, settings);
}

}  // namespace detail
}  // namespace tarnalert
