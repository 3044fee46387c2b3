#include "delivery/mail/MailSettings.h"

#include <curl/curl.h>

#include <cerrno>
#include <memory>

#include "platform/files/TrustedFile.h"

namespace tarnalert {
namespace detail {

namespace {

constexpr long kMostSeconds = 86400;

std::string Setting(Env* env, const char* name) { return env->GetSetting(name); }

// Reads a whole number of seconds; an unset setting keeps `*seconds`.
bool ReadSeconds(Env* env, const char* name, long* seconds, std::string* error) {
  const std::string text = Setting(env, name);
  if (text.empty()) return true;
  long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || value > kMostSeconds) {
      value = -1;
      break;
    }
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > kMostSeconds) {
    *error = std::string("TARNALERT_") + name + " is \"" + text +
             "\"; it must be a whole number of seconds from 1 to 86400";
    return false;
  }
  *seconds = value;
  return true;
}

// The client name as a domain for the Message-ID and the EHLO greeting:
// letters, digits, dots and hyphens only.
std::string HostDomain(Env* env) {
  std::string name = env->PhysicalMachineName("");
  for (char c : name) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                         (c >= '0' && c <= '9') || c == '.' || c == '-';
    if (!allowed) return "localhost";
  }
  if (name.empty() || name.front() == '.' || name.back() == '.') return "localhost";
  return name;
}

struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// One part of a parsed URL; empty when the URL has none.
std::string UrlPart(CURLU* url, CURLUPart part, unsigned flags = 0) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, flags) != CURLUE_OK || text == nullptr) return "";
  std::string value = text;
  curl_free(text);
  return value;
}

bool ReadUrl(const std::string& text, MailSettings* settings, std::string* error) {
  const std::string refused = "TARNALERT_MAIL_URL \"" + text + "\" ";
  std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
  if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) {
    *error = refused +
             "is not a URL; write smtp://host[:port], smtps://host[:port] or file:///directory";
    return false;
  }
  const std::string scheme = UrlPart(url.get(), CURLUPART_SCHEME);
  if (scheme == "file") {
    settings->transport = MailTransport::kFile;
    settings->directory = UrlPart(url.get(), CURLUPART_PATH, CURLU_URLDECODE);
    while (settings->directory.size() > 1 && settings->directory.back() == '/') {
      settings->directory.pop_back();
    }
    if (settings->directory.empty() || settings->directory == "/") {
      *error = refused + "names no directory; write file:///path/to/outbox";
      return false;
    }
    return true;
  }
  if (scheme != "smtp" && scheme != "smtps") {
    *error = refused + "has an unknown scheme; use smtp://, smtps:// or file://";
    return false;
  }
  if (!UrlPart(url.get(), CURLUPART_USER).empty() ||
      !UrlPart(url.get(), CURLUPART_PASSWORD).empty()) {
    *error =
        "TARNALERT_MAIL_URL holds a user name or password; put the user name in "
        "TARNALERT_MAIL_USER and the password in the file TARNALERT_MAIL_PASSWORD_FILE names";
    return false;
  }
  const std::string path = UrlPart(url.get(), CURLUPART_PATH);
  if (!UrlPart(url.get(), CURLUPART_QUERY).empty() || (!path.empty() && path != "/")) {
    *error = refused + "has a path or query; write " + scheme + "://host[:port]";
    return false;
  }
  const std::string host = UrlPart(url.get(), CURLUPART_HOST);
  const std::string port = UrlPart(url.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
  settings->transport = scheme == "smtp" ? MailTransport::kSmtp : MailTransport::kSmtps;
  settings->server = host + ":" + port;
  settings->url = scheme + "://" + settings->server + "/";
  return true;
}

bool ReadTls(Env* env, MailSettings* settings, std::string* error) {
  const std::string text = Setting(env, "MAIL_TLS");
  if (text.empty() || text == "required") {
    settings->tls = MailTls::kRequired;
  } else if (text == "opportunistic") {
    settings->tls = MailTls::kOpportunistic;
  } else if (text == "none") {
    settings->tls = MailTls::kNone;
  } else {
    *error = "TARNALERT_MAIL_TLS is \"" + text + "\"; use required, opportunistic or none";
    return false;
  }
  return true;
}

}  // namespace

bool ReadMailSettings(Env* env, MailSettings* settings, std::string* error) {
  *settings = MailSettings();
  settings->hostName = HostDomain(env);
  const std::string url = Setting(env, "MAIL_URL");
  if (url.empty()) return true;
  if (!ReadUrl(url, settings, error) || !ReadTls(env, settings, error) ||
      !ReadSeconds(env, "MAIL_CONNECT_TIMEOUT", &settings->connectTimeout, error) ||
      !ReadSeconds(env, "MAIL_TIMEOUT", &settings->timeout, error)) {
    return false;
  }
  settings->caFile = Setting(env, "MAIL_CA_FILE");
  settings->user = Setting(env, "MAIL_USER");
  settings->passwordFile = Setting(env, "MAIL_PASSWORD_FILE");
  settings->from = Setting(env, "MAIL_FROM");
  if (settings->from.empty()) settings->from = "tarnalert@" + settings->hostName;

  if (settings->user.empty() != settings->passwordFile.empty()) {
    *error =
        "TARNALERT_MAIL_USER and TARNALERT_MAIL_PASSWORD_FILE go together; set both or "
        "neither";
    return false;
  }
  if (!settings->user.empty() && settings->transport == MailTransport::kSmtp &&
      settings->tls != MailTls::kRequired) {
    *error =
        "credentials are only sent over TLS, but TARNALERT_MAIL_TLS is not required; set "
        "TARNALERT_MAIL_TLS=required or use an smtps:// URL";
    return false;
  }
  return true;
}

CYqError ReadPasswordFile(Env* env, const std::string& path, std::string* password) {
  CYqError error =
      ReadTrustedFile(env, "the password file", path, FileKeeping::kPrivate, 4096, password);
  if (error.IsError()) return error;
  while (!password->empty() && (password->back() == '\n' || password->back() == '\r')) {
    password->back() = '\0';
    password->pop_back();
  }
  if (password->empty()) {
    return FXErrorUtil::ErrorErrNo(FXCodeLocation("MailSettings", "ReadPasswordFile", __LINE__),
                                   EINVAL, "the password file %s is empty", path.c_str());
  }
  return CYqError();
}

}  // namespace detail
}  // namespace tarnalert
