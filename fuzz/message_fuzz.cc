// Fuzz target: the message text form.
//
// Every input must be either rejected or read into a message whose text reads
// back into an equal message and is then written identically; what the
// direct reader takes, the parser must read into an equal message; and a
// reading that takes over the parts of an earlier one must read as a fresh
// reading does.
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

// Reads `text` keeping its parts, then `text` again and `text` with its
// middle byte changed, each with and without the earlier parts.
void CompareWithEarlier(const std::string& text) {
  using namespace tarnalert::detail;
  std::unique_ptr<HqMessageBase> earlier;
  ReadParts earlierParts;
  if (!ReadDocument(text, nullptr, &earlier, nullptr, true, nullptr, &earlierParts).ok()) return;
  const EarlierReading reading{text, &earlierParts};
  std::string changed = text;
  if (!changed.empty()) changed[changed.size() / 2] ^= 1;
  for (const std::string& later : {text, changed}) {
    std::unique_ptr<HqMessageBase> fresh, taken;
    ReadParts freshParts, takenParts;
    const XmlError plain =
        ReadDocument(later, nullptr, &fresh, nullptr, true, nullptr, &freshParts);
    const XmlError with =
        ReadDocument(later, nullptr, &taken, nullptr, true, &reading, &takenParts);
    if (plain.status != with.status || plain.offset != with.offset) std::abort();
    if (!plain.ok()) continue;
    if (!(*fresh == *taken) || freshParts.parts.size() != takenParts.parts.size()) std::abort();
    for (size_t i = 0; i < freshParts.parts.size(); ++i) {
      const ReadPart& a = freshParts.parts[i];
      const ReadPart& b = takenParts.parts[i];
      if (a.field != b.field || a.begin != b.begin || a.end != b.end || !(a.message == b.message)) {
        std::abort();
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  CompareRoads(text);
  CompareWithEarlier(text);
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
