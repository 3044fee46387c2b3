// Fuzz target: the message text form.
//
// Every input must be either rejected or read into a message whose text reads
// back into an equal message and is then written identically.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "tarnalert/platform/message/HqMessageBase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
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
