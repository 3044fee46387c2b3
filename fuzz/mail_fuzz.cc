// Fuzz target: the e-mail message built from a serialized request.
//
// The first byte gives the delivery options, the rest is the request text.
// Whatever the request, a message that is built ends every line with CR LF,
// keeps every line within 998 octets, and has exactly one Subject, From and
// Date header: no value can split or add a header.
#include <strings.h>
#include <cstddef>
#include <cstdint>

#include <cstdlib>
#include <string>
#include <vector>

#include "delivery/mail/MailMessage.h"
#include "delivery/mail/MailRequest.h"

namespace {

size_t CountHeader(const std::string& headers, const std::string& name) {
  size_t count = 0;
  for (size_t at = 0; at < headers.size();) {
    const size_t end = headers.find("\r\n", at);
    // Header names are not case-sensitive.
    if (strncasecmp(headers.c_str() + at, name.c_str(), name.size()) == 0) ++count;
    at = end == std::string::npos ? headers.size() : end + 2;
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int options = data[0];
  const std::string request(reinterpret_cast<const char*>(data) + 1, size - 1);
  tarnalert::detail::MailContent content;
  tarnalert::detail::MailEnvelope envelope;
  std::vector<tarnalert::AddressNote> notes;
  std::string error;
  if (tarnalert::detail::ReadMailRequest(request, options, "Alerts <alerts@example.com>", &content,
                                         &envelope, &notes, &error) != 0) {
    return 0;
  }
  content.hostName = "fuzz.example.com";
  content.date = 1765000000;
  std::string message, messageId;
  if (!tarnalert::detail::BuildMailMessage(content, &message, &messageId)) return 0;

  for (size_t at = 0, line = 0; at < message.size(); ++at) {
    if (message[at] == '\n' && (at == 0 || message[at - 1] != '\r')) std::abort();
    if (message[at] == '\r' && (at + 1 >= message.size() || message[at + 1] != '\n')) std::abort();
    line = message[at] == '\n' ? 0 : line + 1;
    if (line > 999) std::abort();  // 998 octets and the CR
  }
  const size_t end = message.find("\r\n\r\n");
  if (end == std::string::npos) std::abort();
  const std::string headers = message.substr(0, end + 2);
  for (const char* name : {"Subject:", "From:", "Date:", "Message-ID:"}) {
    if (CountHeader(headers, name) != 1) std::abort();
  }
  return 0;
}
