#include "tarnalert/delivery/SpoolForwarder.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "delivery/spool/AlertSpool.h"
#include "delivery/spool/AlertmanagerForwarder.h"
#include "delivery/spool/SpoolRound.h"
#include "delivery/transfer/CurlTransfer.h"
#include "platform/env/Settings.h"
#include "platform/files/File.h"
#include "platform/files/TimeRecord.h"
#include "platform/files/TrustedFile.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {

namespace {

constexpr const char* kAlertSuffix = detail::kSpoolFileSuffix;
constexpr size_t kLargestPem = 1u << 20;

FXCodeLocation ForwardLocation(const char* function, int line) {
  return FXCodeLocation("SpoolForwarder", function, line);
}

CYqError Refusal(const char* function, int line, const std::string& text) {
  return FXErrorUtil::ErrorErrNo(ForwardLocation(function, line), EINVAL, "%s", text.c_str());
}

FXCodeLocation Here(int line) { return ForwardLocation("ForwardSpool", line); }

// One HTTPS connection to the server, kept open across the alerts of a
// round.
class Poster {
 public:
  CYqError SetUp(Env* env, const ForwarderSettings& settings) {
    detail::SetUpCurl();
    curl_.reset(curl_easy_init());
    multi_.reset(curl_multi_init());
    if (!curl_ || !multi_) {
      return Refusal("ForwardSpool", __LINE__, "cannot set up an HTTPS connection");
    }
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
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, detail::KeepReply);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &reply_);
    return CYqError();
  }

  // Starts posting `body` with `key` (both kept by the caller until
  // Finish): sends what the connection takes at once, so that the caller
  // can work while the server does.
  void Start(const std::string& key, const std::string& body) {
    headers_.reset();
    failure_.clear();
    for (const std::string& header : {std::string("Content-Type: application/xml; charset=utf-8"),
                                      "Idempotency-Key: " + key, std::string("Expect:")}) {
      if (!detail::AppendHeader(&headers_, header)) {
        failure_ = "out of memory";
        return;
      }
    }
    CURL* handle = curl_.get();
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers_.get());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    reply_.clear();
    curlText_[0] = '\0';
    curl_multi_add_handle(multi_.get(), handle);
    int running = 0;
    (void)curl_multi_perform(multi_.get(), &running);  // Finish reports what went wrong
  }

  // Completes the post Start began; false with a reason when no HTTP reply
  // came.
  bool Finish(long* status, std::string* reply, std::string* reason) {
    if (!failure_.empty()) {
      *reason = failure_;
      return false;
    }
    int running = 1;
    while (running > 0) {
      if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) break;
      if (running > 0) curl_multi_poll(multi_.get(), nullptr, 0, 1000, nullptr);
    }
    CURLcode result = CURLE_RECV_ERROR;  // unless libcurl reports the transfer done
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(multi_.get(), &left)) {
      if (message->msg == CURLMSG_DONE) result = message->data.result;
    }
    CURL* handle = curl_.get();
    curl_multi_remove_handle(multi_.get(), handle);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, nullptr);
    headers_.reset();
    if (result != CURLE_OK) {
      *reason = detail::TransferFailure(result, curlText_, "TARNALERT_SERVER_CA_FILE");
      return false;
    }
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, status);
    *reply = reply_;
    return true;
  }

 private:
  detail::CurlHandle curl_;  // in multi_ only from Start to Finish
  detail::CurlMultiHandle multi_;
  detail::CurlList headers_;
  std::string failure_;  // why Start could not post
  std::string ca_, certificate_, key_;
  std::string reply_;
  char curlText_[CURL_ERROR_SIZE] = {};
};

bool IsRejection(long status) {
  return status >= 400 && status <= 499 && status != 408 && status != 429;
}

// The Alertmanager base URLs of `list` (comma-separated), without blanks
// around them or a trailing '/'. False, with the reason in `error`, for one
// that is not http:// or https:// with a host.
bool ReadAlertmanagerUrls(const std::string& list, std::vector<std::string>* urls,
                          std::string* error) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    std::string url = list.substr(start, end - start);
    start = end + 1;
    url.erase(0, url.find_first_not_of(" \t"));
    url.erase(url.find_last_not_of(" \t") + 1);
    while (!url.empty() && url.back() == '/') url.pop_back();
    if (url.empty()) continue;
    const bool web = url.compare(0, 7, "http://") == 0 || url.compare(0, 8, "https://") == 0;
    if (!web || url.find("://") + 3 == url.size()) {
      *error = "the Alertmanager URL \"" + url + "\" is not an http:// or https:// URL";
      return false;
    }
    urls->push_back(url);
  }
  return true;
}

bool ReadAlertmanagerSettings(const std::vector<std::string>& given, AlertmanagerSettings* settings,
                              std::string* error) {
  Env* env = Env::Current();
  if (given.empty()) {
    if (!ReadAlertmanagerUrls(env->GetSetting("ALERTMANAGER_URLS"), &settings->urls, error)) {
      return false;
    }
  } else {
    for (const std::string& url : given) {
      if (!ReadAlertmanagerUrls(url, &settings->urls, error)) return false;
    }
  }
  settings->caFile = env->GetSetting("ALERTMANAGER_CA_FILE");
  return detail::ReadWholeNumberSetting("ALERTMANAGER_TIMEOUT", 1, 86400, "seconds",
                                        &settings->timeout, error) &&
         detail::ReadWholeNumberSetting("ALERTMANAGER_BATCH_SIZE", 1, 10000, "",
                                        &settings->batchSize, error) &&
         detail::ReadWholeNumberSetting("ALERTMANAGER_ENDS_AFTER", 60, 30 * 86400, "seconds",
                                        &settings->endsAfter, error);
}

// Reads the first alert from names[*next] on that is still there into
// `text`, leaving *next at it. False at the end, or with `error` set when
// one cannot be read.
bool ReadNext(const detail::SpoolRound& round, const std::vector<std::string>& names, size_t* next,
              std::string* text, CYqError* error) {
  for (; *next < names.size(); ++*next) {
    *error = round.Read(names[*next], text);
    if (!error->IsError()) return true;
    if (error->Code() != -ENOENT) return false;
    *error = CYqError();  // taken away meanwhile
  }
  return false;
}

// The XML endpoint's pass of a round: the alerts it does not have yet, one
// request each, oldest first, until one must wait.
CYqError ForwardToServer(const ForwarderSettings& settings, detail::SpoolRound& round,
                         const std::function<bool()>& stopRequested, ForwardReport* report) {
  Poster poster;
  CYqError error = poster.SetUp(Env::Current(), settings);
  if (error.IsError()) return error;
  std::vector<std::string> names;  // the alerts the server does not have
  for (const std::string& name : round.names()) {
    if (!round.Has(detail::SpoolTarget::kServer, name)) names.push_back(name);
  }
  // While an alert is with the server, the next one is read.
  size_t next = 0;
  std::string body;
  CYqError readError;
  bool readAhead = ReadNext(round, names, &next, &body, &readError);
  while (readAhead) {
    if (stopRequested && stopRequested()) {
      report->stopped = true;
      break;
    }
    const std::string& name = names[next++];
    const std::string sending = std::move(body);
    poster.Start(name, sending);
    readAhead = ReadNext(round, names, &next, &body, &readError);
    long status = 0;
    std::string reply, reason;
    if (!poster.Finish(&status, &reply, &reason)) {
      report->retryLater = true;
      report->retryReason = "no reply from " + settings.url + ": " + reason;
    } else if (status >= 200 && status <= 299) {
      error = round.Accepted(detail::SpoolTarget::kServer, name);
      if (error.IsError()) break;
      continue;
    } else if (IsRejection(status)) {
      error = round.Rejected(name, "HTTP " + std::to_string(status) + "\n" + reply);
      if (error.IsError()) break;
      ++report->rejected;
      report->lines.push_back(name + ": rejected with HTTP " + std::to_string(status) +
                              ", moved to " + round.path() + "/rejected");
      continue;
    } else {
      report->retryLater = true;
      report->retryReason = "the server answered HTTP " + std::to_string(status);
    }
    report->lines.push_back(name + ": waits for the next round: " + report->retryReason);
    break;
  }
  return error.IsError() ? error : readError;
}

}  // namespace

CYqError ReadForwarderSettings(const std::string& url,
                               const std::vector<std::string>& alertmanagerUrls,
                               ForwarderSettings* settings) {
  Env* env = Env::Current();
  *settings = ForwarderSettings();
  settings->url = url.empty() ? env->GetSetting("SERVER_URL") : url;
  settings->caFile = env->GetSetting("SERVER_CA_FILE");
  settings->certificateFile = env->GetSetting("SERVER_CERT");
  settings->keyFile = env->GetSetting("SERVER_KEY");
  std::string error;
  if (!ReadAlertmanagerSettings(alertmanagerUrls, &settings->alertmanager, &error)) {
    return Refusal("ReadForwarderSettings", __LINE__, error);
  }
  if (settings->url.empty() && settings->alertmanager.urls.empty()) {
    error =
        "no forwarding target: give --url https://HOST/PATH or --alertmanager URL, or set "
        "TARNALERT_SERVER_URL or TARNALERT_ALERTMANAGER_URLS";
  } else if (!settings->url.empty() && settings->url.compare(0, 8, "https://") != 0) {
    error = "the server URL \"" + settings->url + "\" is not an https:// URL";
  } else if (settings->certificateFile.empty() != settings->keyFile.empty()) {
    error = "TARNALERT_SERVER_CERT and TARNALERT_SERVER_KEY go together; set both or neither";
  } else if (detail::ReadWholeNumberSetting("SERVER_TIMEOUT", 1, 86400, "seconds",
                                            &settings->timeout, &error) &&
             detail::ReadWholeNumberSetting("FORWARD_INTERVAL", 1, 86400, "seconds",
                                            &settings->interval, &error)) {
    return CYqError();
  }
  return Refusal("ReadForwarderSettings", __LINE__, error);
}

CYqError ReadForwarderSettings(const std::string& url, ForwarderSettings* settings) {
  return ReadForwarderSettings(url, {}, settings);
}

CYqError ForwardSpool(const ForwarderSettings& settings, const std::function<bool()>& stopRequested,
                      ForwardReport* report) {
  *report = ForwardReport();
  const bool server = !settings.url.empty();
  const bool alertmanager = !settings.alertmanager.urls.empty();
  detail::SpoolRound round;
  CYqError error = round.Open(Env::Current(), server, alertmanager);
  if (error.IsError() || round.names().empty()) return error;
  // The targets are independent: one that must wait or cannot be used
  // holds up no other. The first error is the one reported.
  if (server) error = ForwardToServer(settings, round, stopRequested, report);
  if (alertmanager && !report->stopped) {
    CYqError more =
        detail::ForwardToAlertmanager(settings.alertmanager, round, stopRequested, report);
    if (!error.IsError()) error = std::move(more);
  }
  report->sent = round.Finish();
  // For the status report; a record that cannot be written loses no alert.
  if (report->sent > 0) (void)RecordTime(Env::Current(), kLastForwardRecord, Env::Current()->Now());
  return error;
}

CYqError ListSpool(std::vector<std::string>* names) {
  names->clear();
  Directory spool;
  CYqError error = detail::OpenSpool(Env::Current(), &spool);
  if (error.IsError() || !spool.is_open()) return error;
  return spool.List(kAlertSuffix, names);
}

}  // namespace tarnalert
