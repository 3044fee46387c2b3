// Fuzz target: every writer of the XML form.
//
// Whatever bytes the texts hold, the message text form, the e-mail request
// (also from wide text), the audit trail and the spool document are well-formed
// XML 1.0 (pugixml parses them, and a check of our own finds only characters
// XML allows, literal or referenced), and our readers give back the same bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <pugixml.hpp>
#include <string>

#include "delivery/spool/AlertSpool.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/platform/message/Messages.h"
#include "tarnalert/platform/text/FXString.h"

namespace {

bool IsXmlChar(uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The character at text[*at], decoded from UTF-8; false when malformed.
bool DecodeUtf8(const std::string& text, size_t* at, uint32_t* c) {
  const auto lead = static_cast<unsigned char>(text[*at]);
  size_t length;
  uint32_t minimum;
  if (lead < 0x80) {
    *c = lead;
    ++*at;
    return true;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, *c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, *c = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, *c = lead & 0x07;
  } else {
    return false;
  }
  if (text.size() - *at < length) return false;
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[*at + i]);
    if ((next & 0xC0) != 0x80) return false;
    *c = (*c << 6) | (next & 0x3F);
  }
  *at += length;
  return *c >= minimum && *c <= 0x10FFFF && !(*c >= 0xD800 && *c <= 0xDFFF);
}

// A well-formed XML 1.0 document as pugixml sees it, made of characters XML
// allows, whose character references name characters XML allows.
bool Conforms(const std::string& text) {
  pugi::xml_document document;
  if (!document.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8)) {
    return false;
  }
  for (size_t at = 0; at < text.size();) {
    uint32_t c = 0;
    if (!DecodeUtf8(text, &at, &c) || !IsXmlChar(c)) return false;
  }
  for (size_t at = text.find("&#"); at != std::string::npos; at = text.find("&#", at + 2)) {
    const bool hex = at + 2 < text.size() && text[at + 2] == 'x';
    const size_t end = text.find(';', at);
    if (end == std::string::npos) return false;
    const std::string digits = text.substr(at + (hex ? 3 : 2), end - at - (hex ? 3 : 2));
    if (digits.empty() || digits.size() > 8) return false;
    const uint32_t c = static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, hex ? 16 : 10));
    if (!IsXmlChar(c)) return false;
  }
  return true;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string first = input.ConsumeRandomLengthString(4096);
  const std::string second = input.ConsumeRandomLengthString(4096);
  std::wstring wide;
  while (input.remaining_bytes() >= 4) {
    wide.push_back(static_cast<wchar_t>(input.ConsumeIntegral<uint32_t>() & 0x7FFFFFFF));
  }

  // The message text form, with a text and a text list.
  KTGui::TokenValueStruct message;
  message.list(KTGui::TokenValueStruct::values) = {first, second};
  for (bool compact : {false, true}) {
    std::string text;
    Check(message.serialize(text, compact) == 0 && Conforms(text));
    KTGui::TokenValueStruct copy;
    Check(copy.unserialize(text) == 0 && copy == message);
  }

  // The e-mail request, its subject and body made from wide text.
  App::EmailInfo request;
  request.set(App::EmailInfo::subject, FXString::ToString(wide));
  request.set(App::EmailInfo::body, first);
  std::string requestText;
  Check(request.serialize(requestText, false) == 0 && Conforms(requestText));
  App::EmailInfo requestCopy;
  Check(requestCopy.unserialize(requestText) == 0 && requestCopy == request);

  // The audit trail.
  EvAlertEx alert;
  alert.auxText14 = first;
  alert.auxText15 = second;
  std::string audit;
  Check(alert.serializeForAuditTrail(audit) == 0 && Conforms(audit));
  EvAlertEx auditCopy;
  Check(auditCopy.unserializeForAuditTrail(audit) == 0 && auditCopy.auxText14 == first &&
        auditCopy.auxText15 == second);

  // The spool document.
  alert.msgString = second;
  alert << first.c_str();
  alert.getEventMsgList().back().text = first;
  const std::string spooled = tarnalert::detail::SpoolDocument(alert);
  Check(Conforms(spooled));
  EvAlertEx spoolCopy;
  std::string error;
  Check(tarnalert::detail::ReadSpoolDocument(spooled, &spoolCopy, &error) &&
        spoolCopy.auxText14 == first && spoolCopy.msgString == second &&
        spoolCopy.getEventMsgList().size() == 1 && spoolCopy.getEventMsgList()[0].text == first);
  return 0;
}
