#include "delivery/transfer/CurlTransfer.h"

#include <algorithm>

namespace tarnalert {
namespace detail {

void SetUpCurl() {
  static const CURLcode done = curl_global_init(CURL_GLOBAL_DEFAULT);
  (void)done;
}

void SetVerifiedTransfer(CURL* handle, const char* protocols, char* errorBuffer,
                         long connectTimeout, long timeout, const std::string& caCertificates) {
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, protocols);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, connectTimeout);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT, timeout);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!caCertificates.empty()) {
    // A private CA replaces the system's store (the blob is copied).
    curl_blob blob{const_cast<char*>(caCertificates.data()), caCertificates.size(), CURL_BLOB_COPY};
    curl_easy_setopt(handle, CURLOPT_CAINFO_BLOB, &blob);
    curl_easy_setopt(handle, CURLOPT_CAPATH, nullptr);
  }
}

bool AppendHeader(CurlList* list, const std::string& header) {
  curl_slist* longer = curl_slist_append(list->get(), header.c_str());
  if (longer == nullptr) return false;
  (void)list->release();  // now the head of `longer`
  list->reset(longer);
  return true;
}

size_t KeepReply(char* data, size_t size, size_t count, void* reply) {
  constexpr size_t kLargestReply = 64u << 10;
  std::string* text = static_cast<std::string*>(reply);
  const size_t bytes = size * count;
  text->append(data, std::min(bytes, kLargestReply - std::min(text->size(), kLargestReply)));
  return bytes;
}

std::string TransferFailure(CURLcode result, const char* errorBuffer, const char* caSetting) {
  std::string reason = errorBuffer[0] != '\0' ? errorBuffer : curl_easy_strerror(result);
  if (result == CURLE_PEER_FAILED_VERIFICATION || result == CURLE_SSL_CACERT_BADFILE) {
    reason = "the server's certificate cannot be verified (" + reason +
             "); if it is signed by a private CA, name that CA's certificate in " + caSetting;
  }
  return reason;
}

}  // namespace detail
}  // namespace tarnalert
