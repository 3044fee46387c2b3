#include "delivery/mail/SmtpTransport.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
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

// libcurl 8.2 renamed the option that lets a transfer go on past a refused
// recipient.
#if LIBCURL_VERSION_NUM >= 0x080200
constexpr CURLoption kAllowRecipientFailures = CURLOPT_MAIL_RCPT_ALLOWFAILS;
#else
constexpr CURLoption kAllowRecipientFailures = CURLOPT_MAIL_RCPT_ALLLOWFAILS;
#endif

// What the conversation showed, for the error text: the last command sent
// (AUTH without its data), the first refusal
// (4xx or 5xx) of a command other than RCPT TO with the command it answered,
// and each recipient refused on its own.
struct Conversation {
  std::string command;
  std::string refusedCommand;
  std::string refusal;
  std::string recipient;  // of the RCPT TO waiting for its reply
  std::vector<RefusedRecipient> refused;
  bool inLogin = false;                       // lines sent now carry credentials
  std::vector<std::string>* lines = nullptr;  // the conversation, when asked for
};

// A command worth naming in an error text; never a line of a login.
bool IsNamedCommand(const std::string& line) {
  static const char* const kWithArgument[] = {"EHLO ", "HELO ", "MAIL FROM:", "RCPT TO:"};
  for (const char* prefix : kWithArgument) {
    if (line.compare(0, std::strlen(prefix), prefix) == 0) return true;
  }
  return line == "DATA" || line == "QUIT" || line == "STARTTLS";
}

void Received(Conversation* conversation, const std::string& line) {
  if (conversation->lines != nullptr) conversation->lines->push_back("< " + line);
  // A 334 challenge asks for more login data; any other reply ends the login.
  if (line.compare(0, 3, "334") != 0) conversation->inLogin = false;
  const bool last = line.size() < 4 || line[3] != '-';  // of a reply of several lines
  const char first = line.empty() ? '\0' : line[0];
  if (!last || (first != '4' && first != '5')) {
    if (last) conversation->recipient.clear();
    return;
  }
  if (!conversation->recipient.empty()) {
    conversation->refused.push_back(
        {conversation->recipient, std::strtol(line.substr(0, 3).c_str(), nullptr, 10), line});
    conversation->recipient.clear();
  } else if (conversation->refusal.empty()) {
    conversation->refusal = line;
    conversation->refusedCommand = conversation->command;
  }
}

void Sent(Conversation* conversation, const std::string& line) {
  std::string shown = line;
  if (conversation->inLogin) {
    shown = "[login data hidden]";
  } else if (line.compare(0, 5, "AUTH ") == 0) {
    // Only the mechanism: an initial response holds the credentials.
    const size_t end = line.find(' ', 5);
    conversation->command = line.substr(0, end);
    shown = conversation->command + (end == std::string::npos ? "" : " [login data hidden]");
    conversation->inLogin = true;
  } else if (IsNamedCommand(line)) {
    conversation->command = line;
    static const char kRecipient[] = "RCPT TO:<";
    if (line.compare(0, sizeof kRecipient - 1, kRecipient) == 0) {
      conversation->recipient =
          line.substr(sizeof kRecipient - 1, line.find('>') - sizeof kRecipient + 1);
    }
  }
  if (conversation->lines != nullptr) conversation->lines->push_back("> " + shown);
}

int RecordConversation(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  if (type != CURLINFO_HEADER_IN && type != CURLINFO_HEADER_OUT) return 0;
  Conversation* conversation = static_cast<Conversation*>(user);
  const std::string text(data, size);
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    if (end > start) {
      const std::string line = text.substr(start, end - start);
      type == CURLINFO_HEADER_IN ? Received(conversation, line) : Sent(conversation, line);
    }
    start = end + 1;
  }
  return 0;
}

// Ends a wait that libcurl's own timeouts do not bound: the reply to QUIT
// when the connection is closed.
int PastDeadline(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* deadline = static_cast<const std::chrono::steady_clock::time_point*>(user);
  return std::chrono::steady_clock::now() > *deadline ? 1 : 0;
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
DeliveryResult Explain(CURLcode result, const char* curlText, const Conversation& conversation,
                       size_t recipients, const MailSettings& settings) {
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
    case CURLE_ABORTED_BY_CALLBACK:  // the deadline of PastDeadline
      return Failure(kMailConnectionFailed,
                     "the server " + server + " did not answer in time (TARNALERT_MAIL_CONNECT_" +
                         "TIMEOUT " + std::to_string(settings.connectTimeout) +
                         " s, TARNALERT_MAIL_TIMEOUT " + std::to_string(settings.timeout) +
                         " s): " + detail);
    default:
      break;
  }
  if (result == CURLE_LOGIN_DENIED) {
    // Mended on this client (the user or the password file), like a setting.
    return Failure(kMailSettingsWrong,
                   "the server " + server + " refused the login of " + settings.user + ": " +
                       (conversation.refusal.empty() ? detail : conversation.refusal));
  }
  if (!conversation.refusal.empty()) {
    std::string text = "the server " + server + " refused";
    if (!conversation.refusedCommand.empty()) text += " " + conversation.refusedCommand;
    const long code = std::strtol(conversation.refusal.substr(0, 3).c_str(), nullptr, 10);
    return Failure(code >= 400 && code <= 599 ? code : kMailConnectionFailed,
                   text + ": " + conversation.refusal);
  }
  if (!conversation.refused.empty() && conversation.refused.size() == recipients) {
    std::string text = "the server " + server + " refused every recipient:";
    for (const RefusedRecipient& refused : conversation.refused) {
      text += " " + refused.address + ": " + refused.reply + ";";
    }
    text.pop_back();
    return Failure(conversation.refused.front().code, text);
  }
  return Failure(kMailConnectionFailed, "sending to " + server + " failed: " + detail);
}

// Reads the private CA and the password the settings name. {0, ""} when
// they can be used; otherwise why not (a setting to mend).
DeliveryResult ReadSecrets(Env* env, const MailSettings& settings, std::string* caCertificates,
                           std::string* password) {
  if (!settings.caFile.empty()) {
    CYqError error = ReadTrustedFile(env, "the CA file", settings.caFile, FileKeeping::kTrusted,
                                     kMostCaBytes, caCertificates);
    if (error.IsError()) {
      return Failure(kMailSettingsWrong, "TARNALERT_MAIL_CA_FILE: " + error.LastMessage());
    }
    if (caCertificates->empty()) {
      return Failure(kMailSettingsWrong, "TARNALERT_MAIL_CA_FILE: " + settings.caFile +
                                             " is empty; it must hold the CA's certificate (PEM)");
    }
  }
  if (!settings.user.empty()) {
    CYqError error = ReadPasswordFile(env, settings.passwordFile, password);
    if (error.IsError()) {
      return Failure(kMailSettingsWrong, "TARNALERT_MAIL_PASSWORD_FILE: " + error.LastMessage());
    }
  }
  return DeliveryResult{0, L""};
}

}  // namespace

SmtpSession::~SmtpSession() {
  handle_.reset();  // says QUIT first
  WipeSecret(&password_);
  WipeSecret(&caCertificates_);
}

Transmission SendBySmtp(Env* env, const MailSettings& settings, const MailEnvelope& envelope,
                        const std::string& message, std::vector<std::string>* lines,
                        SmtpSession* session) {
  SetUpCurl();
  CurlHandle own;
  CurlHandle& curl = session != nullptr ? session->handle_ : own;
  if (!curl) curl.reset(curl_easy_init());
  if (!curl) return {Failure(kMailConnectionFailed, "cannot set up an SMTP connection"), {}};
  CURL* handle = curl.get();

  // A session reads the CA file and the password file once, for all its
  // messages.
  std::string ownCa, ownPassword;
  std::string& caCertificates = session != nullptr ? session->caCertificates_ : ownCa;
  std::string& password = session != nullptr ? session->password_ : ownPassword;
  if (session == nullptr || !session->secretsRead_) {
    const DeliveryResult unusable = ReadSecrets(env, settings, &caCertificates, &password);
    if (unusable.code != 0) return {unusable, {}};
    if (session != nullptr) session->secretsRead_ = true;
  }

  char curlText[CURL_ERROR_SIZE] = {};
  Conversation conversation;
  conversation.lines = lines;
  Upload upload{&message, 0};
  CurlList recipients;
  for (const std::string& recipient : envelope.recipients) {
    curl_slist* list = curl_slist_append(recipients.get(), ("<" + recipient + ">").c_str());
    if (list == nullptr) return {Failure(kMailConnectionFailed, "out of memory"), {}};
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
  curl_easy_setopt(handle, kAllowRecipientFailures, 1L);
  curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(handle, CURLOPT_READFUNCTION, ReadMessage);
  curl_easy_setopt(handle, CURLOPT_READDATA, &upload);
  curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
  curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, RecordConversation);
  curl_easy_setopt(handle, CURLOPT_DEBUGDATA, &conversation);
  // Without a session the connection closes (QUIT) inside the transfer,
  // where the deadline below ends a wait for a reply that does not come; a
  // session's QUIT, when the handle is cleaned up, waits for the server's
  // response timeout, which is the mail timeout too (libcurl's own limit
  // for either wait is two minutes, whatever the transfer's timeout).
  curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, session != nullptr ? 0L : 1L);
  curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, settings.timeout);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(settings.timeout);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, PastDeadline);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &deadline);

  const CURLcode result = curl_easy_perform(handle);
  if (session != nullptr) {
    // The handle outlives this call, and its QUIT comes later: nothing of it
    // may point here any longer.
    curl_easy_setopt(handle, CURLOPT_VERBOSE, 0L);
    curl_easy_setopt(handle, CURLOPT_DEBUGDATA, nullptr);
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, nullptr);
    curl_easy_setopt(handle, CURLOPT_MAIL_RCPT, nullptr);
    curl_easy_setopt(handle, CURLOPT_READDATA, nullptr);
  }
  WipeSecret(&ownPassword);
  WipeSecret(&ownCa);
  if (result == CURLE_OK) return {DeliveryResult{0, L""}, conversation.refused};
  return {Explain(result, curlText, conversation, envelope.recipients.size(), settings),
          conversation.refused};
}

}  // namespace detail
}  // namespace tarnalert
