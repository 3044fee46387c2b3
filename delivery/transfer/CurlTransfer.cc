#include "delivery/transfer/CurlTransfer.h"

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

}  // namespace detail
}  // namespace tarnalert
