// Fuzz target: the message text form.
//
// Every input must be either rejected or read into a message whose text reads
// back into an equal message and is then written identically; and what the
// direct reader takes, the parser must read into an equal message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/message/XmlReader.h"
#include "platform/message/XmlScan.h"
#include "tarnalert/platform/message/HqMessageBase.h"

namespace {

// Reads `text` both ways: ReadDocument, which tries the direct reader first,
// and the scan with the parser alone.
void CompareRoads(const std::string& text) {
  using namespace tarnalert::detail;
  std::unique_ptr<HqMessageBase> read, parsed;
  const XmlError direct = ReadDocument(text, nullptr, &read);
  XmlError parse = ScanDocument(text.data(), text.size());
  if (parse.ok()) parse = ParseDocument(text, nullptr, &parsed);
  if (direct.status != parse.status || direct.offset != parse.offset) std::abort();
  if (direct.ok() && !(*read == *parsed)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  CompareRoads(text);
  XMLDecoder decoder;
  std::unique_ptr<HqMessageBase> message(decoder.unSerialize(text, nullptr));
  if (!message) return 0;
  for (bool compact : {false, true}) {
    std::string written;
    if (message->serialize(written, compact) != 0) std::abort();
    HqMessageBase again(message->module(), message->classNumber());
    if (again.unserialize(written) != 0) std::abort();
    if (!(again == *message)) std::abort();
    std::string rewritten;
    again.serialize(rewritten, compact);
    if (rewritten != written) std::abort();
  }
  return 0;
}
