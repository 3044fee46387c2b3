#include "delivery/spool/AlertmanagerInstances.h"

#include <cerrno>

#include "platform/files/TrustedFile.h"

namespace tarnalert {
namespace detail {

namespace {

constexpr size_t kLargestPem = 1u << 20;
constexpr int kPollMilliseconds = 1000;

}  // namespace

struct AlertmanagerInstances::Instance {
  std::string url;
  CurlHandle handle;
  std::string reply;
  char errorText[CURL_ERROR_SIZE] = {};
  bool inRound = true;
};

AlertmanagerInstances::AlertmanagerInstances() = default;

AlertmanagerInstances::~AlertmanagerInstances() {
  // The easy handles leave the multi handle before either is cleaned up.
  for (const auto& instance : instances_) {
    if (multi_ && instance->handle) curl_multi_remove_handle(multi_.get(), instance->handle.get());
  }
  instances_.clear();
}

CYqError AlertmanagerInstances::SetUp(Env* env, const AlertmanagerSettings& settings) {
  auto refusal = [](const std::string& text) {
    return FXErrorUtil::ErrorErrNo(FXCodeLocation("AlertmanagerInstances", "SetUp", __LINE__),
                                   EINVAL, "%s", text.c_str());
  };
  SetUpCurl();
  if (!settings.caFile.empty()) {
    CYqError error = ReadTrustedFile(env, "the CA file", settings.caFile, FileKeeping::kTrusted,
                                     kLargestPem, &ca_);
    if (error.IsError()) {
      return error.Push(FXCodeLocation("AlertmanagerInstances", "SetUp", __LINE__),
                        "TARNALERT_ALERTMANAGER_CA_FILE");
    }
  }
  multi_.reset(curl_multi_init());
  if (!multi_ || !AppendHeader(&headers_, "Content-Type: application/json") ||
      !AppendHeader(&headers_, "Expect:")) {
    return refusal("cannot set up the connections to Alertmanager");
  }
  for (const std::string& url : settings.urls) {
    auto instance = std::make_unique<Instance>();
    instance->url = url;
    instance->handle.reset(curl_easy_init());
    CURL* handle = instance->handle.get();
    if (handle == nullptr) return refusal("cannot set up the connections to Alertmanager");
    const std::string endpoint = url + "/api/v2/alerts";
    curl_easy_setopt(handle, CURLOPT_URL, endpoint.c_str());  // copied by libcurl
    SetVerifiedTransfer(handle, "http,https", instance->errorText, settings.connectTimeout,
                        settings.timeout, ca_);
    curl_easy_setopt(handle, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_2TLS);
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers_.get());
    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, KeepReply);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &instance->reply);
    instances_.push_back(std::move(instance));
  }
  return CYqError();
}

std::vector<InstanceAnswer> AlertmanagerInstances::Post(std::string body) {
  Start(std::move(body));
  return Finish();
}

void AlertmanagerInstances::Start(std::string body) {
  body_ = std::move(body);
  for (const auto& instance : instances_) {
    if (!instance->inRound) continue;
    CURL* handle = instance->handle.get();
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body_.data());
    curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));
    instance->reply.clear();
    instance->errorText[0] = '\0';
    curl_multi_add_handle(multi_.get(), handle);
    asked_.push_back(instance.get());
  }
  int running = 0;
  (void)curl_multi_perform(multi_.get(), &running);  // Finish reports what went wrong
}

std::vector<InstanceAnswer> AlertmanagerInstances::Finish() {
  int running = 1;
  while (running > 0) {
    if (curl_multi_perform(multi_.get(), &running) != CURLM_OK) break;
    if (running > 0) curl_multi_poll(multi_.get(), nullptr, 0, kPollMilliseconds, nullptr);
  }
  std::vector<InstanceAnswer> answers(asked_.size());
  for (size_t i = 0; i < asked_.size(); ++i) {
    answers[i].url = asked_[i]->url;
    answers[i].text = "no answer";  // replaced below once libcurl reports the transfer
  }
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_.get(), &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    for (size_t i = 0; i < asked_.size(); ++i) {
      if (asked_[i]->handle.get() != message->easy_handle) continue;
      InstanceAnswer& answer = answers[i];
      if (message->data.result == CURLE_OK) {
        answer.replied = true;
        curl_easy_getinfo(message->easy_handle, CURLINFO_RESPONSE_CODE, &answer.status);
        answer.text = asked_[i]->reply;
      } else {
        answer.text = TransferFailure(message->data.result, asked_[i]->errorText,
                                      "TARNALERT_ALERTMANAGER_CA_FILE");
      }
    }
  }
  for (size_t i = 0; i < asked_.size(); ++i) {
    curl_multi_remove_handle(multi_.get(), asked_[i]->handle.get());
    if (!answers[i].replied) asked_[i]->inRound = false;
  }
  asked_.clear();
  return answers;
}

}  // namespace detail
}  // namespace tarnalert
