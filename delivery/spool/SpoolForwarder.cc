#include "tarnalert/delivery/SpoolForwarder.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "delivery/spool/AlertSpool.h"
#include "delivery/transfer/CurlTransfer.h"
#include "platform/env/Settings.h"
#include "platform/files/Directory.h"
#include "platform/files/File.h"
#include "platform/files/TrustedFile.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {

namespace {

constexpr const char* kAlertSuffix = detail::kSpoolFileSuffix;
constexpr size_t kLargestAlert = 64u << 20;
constexpr size_t kLargestReply = 64u << 10;
constexpr size_t kLargestPem = 1u << 20;

FXCodeLocation ForwardLocation(const char* function, int line) {
  return FXCodeLocation("SpoolForwarder", function, line);
}

CYqError Refusal(const char* function, int line, const std::string& text) {
  return FXErrorUtil::ErrorErrNo(ForwardLocation(function, line), EINVAL, "%s", text.c_str());
}

FXCodeLocation Here(int line) { return ForwardLocation("ForwardSpool", line); }

bool ReadSeconds(Env* env, const char* name, long* seconds, std::string* error) {
  const std::string text = env->GetSetting(name);
  if (text.empty()) return true;
  if (text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos ||
      std::stol(text) < 1 || std::stol(text) > 86400) {
    *error = std::string("TARNALERT_") + name + " is \"" + text +
             "\"; it must be a whole number of seconds from 1 to 86400";
    return false;
  }
  *seconds = std::stol(text);
  return true;
}

size_t KeepReply(char* data, size_t size, size_t count, void* user) {
  std::string* reply = static_cast<std::string*>(user);
  const size_t bytes = size * count;
  reply->append(data, std::min(bytes, kLargestReply - std::min(reply->size(), kLargestReply)));
  return bytes;
}

// One HTTPS connection to the server, kept open across the alerts of a
// round.
class Poster {
 public:
  CYqError SetUp(Env* env, const ForwarderSettings& settings) {
    detail::SetUpCurl();
    curl_.reset(curl_easy_init());
    if (!curl_) return Refusal("ForwardSpool", __LINE__, "cannot set up an HTTPS connection");
    CYqError error;
    if (!settings.caFile.empty()) {
      error = ReadTrustedFile(env, "the CA file", settings.caFile, FileKeeping::kTrusted,
                              kLargestPem, &ca_);
      if (error.IsError()) return error.Push(Here(__LINE__), "TARNALERT_SERVER_CA_FILE");
    }
    if (!settings.certificateFile.empty()) {
      error = ReadTrustedFile(env, "the client certificate file", settings.certificateFile,
                              FileKeeping::kTrusted, kLargestPem, &certificate_);
      if (error.IsError()) return error.Push(Here(__LINE__), "TARNALERT_SERVER_CERT");
      error = ReadTrustedFile(env, "the client key file", settings.keyFile, FileKeeping::kPrivate,
                              kLargestPem, &key_);
      if (error.IsError()) return error.Push(Here(__LINE__), "TARNALERT_SERVER_KEY");
    }
    CURL* handle = curl_.get();
    curl_easy_setopt(handle, CURLOPT_URL, settings.url.c_str());
    detail::SetVerifiedTransfer(handle, "https", curlText_, settings.connectTimeout,
                                settings.timeout, ca_);
    if (!certificate_.empty()) {
      curl_blob certificate{&certificate_[0], certificate_.size(), CURL_BLOB_COPY};
      curl_blob key{&key_[0], key_.size(), CURL_BLOB_COPY};
      curl_easy_setopt(handle, CURLOPT_SSLCERT_BLOB, &certificate);
      curl_easy_setopt(handle, CURLOPT_SSLCERTTYPE, "PEM");
      curl_easy_setopt(handle, CURLOPT_SSLKEY_BLOB, &key);
      curl_easy_setopt(handle, CURLOPT_SSLKEYTYPE, "PEM");
      WipeSecret(&key_);
    }
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, KeepReply);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reply_);
    return CYqError();
  }

  // Posts `body` with `key`; false with a reason when no HTTP reply came.
  bool Post(const std::string& key, const std::string& body, long* status, std::string* reply,
            std::string* reason) {
    detail::CurlList headers;
    for (const std::string& header : {std::string("Content-Type: application/xml; charset=utf-8"),
                                      "Idempotency-Key: " + key, std::string("Expect:")}) {
      curl_slist* list = curl_slist_append(headers.get(), header.c_str());
      if (list == nullptr) {
        *reason = "out of memory";
        return false;
      }
      headers.release();
      headers.reset(list);
    }
    CURL* handle = curl_.get();
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    reply_.clear();
    curlText_[0] = '\0';
    const CURLcode result = curl_easy_perform(handle);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, nullptr);
    if (result != CURLE_OK) {
      *reason = std::string(curlText_[0] != '\0' ? curlText_ : curl_easy_strerror(result));
      if (result == CURLE_PEER_FAILED_VERIFICATION || result == CURLE_SSL_CACERT_BADFILE) {
        *reason = "the server's certificate cannot be verified (" + *reason +
                  "); if it is signed by a private CA, name that CA's certificate in "
                  "TARNALERT_SERVER_CA_FILE";
      }
      return false;
    }
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, status);
    *reply = reply_;
    return true;
  }

 private:
  detail::CurlHandle curl_;
  std::string ca_, certificate_, key_;
  std::string reply_;
  char curlText_[CURL_ERROR_SIZE] = {};
};

bool IsRejection(long status) {
  return status >= 400 && status <= 499 && status != 408 && status != 429;
}

// Moves the alert `name` to rejected/, the reply written beside it first.
CYqError Reject(const Directory& spool, const std::string& name, long status,
                const std::string& reply) {
  Directory rejected;
  CYqError error = spool.OpenDirectory(detail::kRejectedDirectory, true, &rejected);
  if (!error.IsError()) {
    error = WriteFileDurably(rejected, name + ".reply",
                             "HTTP " + std::to_string(status) + "\n" + reply);
  }
  if (!error.IsError()) error = spool.Move(name, rejected, name);
  if (error.IsError()) return error;
  (void)rejected.Sync();  // at worst the alert is sent once more
  return CYqError();
}

// Opens the spool directory; a missing one (nothing spooled yet) stays
// closed.
CYqError OpenSpool(Directory* spool) {
  CYqError error = Directory::Open(Env::Current(), detail::SpoolDirectory(), false, spool);
  return error.Code() == -ENOENT ? CYqError() : error;
}

}  // namespace

CYqError ReadForwarderSettings(const std::string& url, ForwarderSettings* settings) {
  Env* env = Env::Current();
  *settings = ForwarderSettings();
  settings->url = url.empty() ? env->GetSetting("SERVER_URL") : url;
  settings->caFile = env->GetSetting("SERVER_CA_FILE");
  settings->certificateFile = env->GetSetting("SERVER_CERT");
  settings->keyFile = env->GetSetting("SERVER_KEY");
  std::string error;
  if (settings->url.empty()) {
    error = "no server URL: give --url https://HOST/PATH or set TARNALERT_SERVER_URL";
  } else if (settings->url.compare(0, 8, "https://") != 0) {
    error = "the server URL \"" + settings->url + "\" is not an https:// URL";
  } else if (settings->certificateFile.empty() != settings->keyFile.empty()) {
    error = "TARNALERT_SERVER_CERT and TARNALERT_SERVER_KEY go together; set both or neither";
  } else if (ReadSeconds(env, "SERVER_TIMEOUT", &settings->timeout, &error) &&
             ReadSeconds(env, "FORWARD_INTERVAL", &settings->interval, &error)) {
    return CYqError();
  }
  return Refusal("ReadForwarderSettings", __LINE__, error);
}

CYqError ForwardSpool(const ForwarderSettings& settings, const std::function<bool()>& stopRequested,
                      ForwardReport* report) {
  *report = ForwardReport();
  // Every step goes through the descriptor of the spool checked here: a
  // directory swapped for a link during a slow POST redirects nothing.
  Directory spool;
  std::vector<std::string> names;
  CYqError error = OpenSpool(&spool);
  if (!error.IsError() && spool.is_open()) error = spool.List(kAlertSuffix, &names);
  if (error.IsError() || names.empty()) return error;
  Poster poster;
  error = poster.SetUp(Env::Current(), settings);
  if (error.IsError()) return error;

  for (const std::string& name : names) {
    if (stopRequested && stopRequested()) {
      report->stopped = true;
      break;
    }
    std::string body;
    error = ReadFileToString(spool, name, kLargestAlert, &body);
    if (error.IsError()) {
      if (error.Code() == -ENOENT) {  // taken away meanwhile
        error = CYqError();
        continue;
      }
      break;
    }
    long status = 0;
    std::string reply, reason;
    if (!poster.Post(name, body, &status, &reply, &reason)) {
      report->retryLater = true;
      report->retryReason = "no reply from " + settings.url + ": " + reason;
    } else if (status >= 200 && status <= 299) {
      // Removed only now that the server has it: a kill before this line
      // sends the alert again, never loses it.
      error = spool.Remove(name);
      if (error.IsError()) {
        error.Push(ForwardLocation("ForwardSpool", __LINE__), "the sent alert stays");
        break;
      }
      ++report->sent;
      continue;
    } else if (IsRejection(status)) {
      error = Reject(spool, name, status, reply);
      if (error.IsError()) break;
      ++report->rejected;
      report->lines.push_back(name + ": rejected with HTTP " + std::to_string(status) +
                              ", moved to " + spool.PathOf("rejected"));
      continue;
    } else {
      report->retryLater = true;
      report->retryReason = "the server answered HTTP " + std::to_string(status);
    }
    report->lines.push_back(name + ": waits for the next round: " + report->retryReason);
    break;
  }
  // The removals become durable together; a power loss before this sends
  // the alerts of the round again, never loses one.
  if (report->sent > 0) (void)spool.Sync();
  return error;
}

CYqError ListSpool(std::vector<std::string>* names) {
  names->clear();
  Directory spool;
  CYqError error = OpenSpool(&spool);
  if (error.IsError() || !spool.is_open()) return error;
  return spool.List(kAlertSuffix, names);
}

}  // namespace tarnalert
