// The verified libcurl transfer that every wire protocol of ours shares (SMTP
// for mail, HTTPS for the spool forwarders): libcurl's process-wide set-up,
// owners for its handles, and the options that keep a transfer verified and
// bounded in time.
//
// Safe to call from any thread; a handle belongs to the thread using it.
#ifndef TARNALERT_DELIVERY_TRANSFER_CURLTRANSFER_H_
#define TARNALERT_DELIVERY_TRANSFER_CURLTRANSFER_H_

#include <curl/curl.h>

#include <memory>
#include <string>

namespace tarnalert {
namespace detail {

// libcurl's process-wide set-up, done once; every transfer calls it before
// its first handle.
void SetUpCurl();

struct CurlEasyCleanup {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct CurlListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlMultiCleanup {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using CurlHandle = std::unique_ptr<CURL, CurlEasyCleanup>;
using CurlList = std::unique_ptr<curl_slist, CurlListFree>;
using CurlMultiHandle = std::unique_ptr<CURLM, CurlMultiCleanup>;

// Appends `header` to `list`. False (the list unchanged) when out of memory.
bool AppendHeader(CurlList* list, const std::string& header);

// A CURLOPT_WRITEFUNCTION that keeps the first 64 KiB of a reply in the
// std::string given as CURLOPT_WRITEDATA and drops the rest.
size_t KeepReply(char* data, size_t size, size_t count, void* reply);

// Why a transfer ended with `result` and no reply, for a person: libcurl's
// text (from `errorBuffer` when it holds one); for a certificate that could
// not be verified, with a hint to name a private CA in `caSetting`.
std::string TransferFailure(CURLcode result, const char* errorBuffer, const char* caSetting);

// The options every transfer of ours shares: only `protocols`, no signals,
// libcurl's error text into `errorBuffer` (CURL_ERROR_SIZE bytes), the two
// timeouts in seconds, the peer's certificate and host name always verified,
// and, when `caCertificates` (PEM) is not empty, that CA in place of the
// system's store.
void SetVerifiedTransfer(CURL* handle, const char* protocols, char* errorBuffer,
                         long connectTimeout, long timeout, const std::string& caCertificates);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_TRANSFER_CURLTRANSFER_H_
