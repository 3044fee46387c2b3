// libFuzzer target for the message text form. Not built by default; build it
// with clang against the library's sources, for example:
//
//   SOURCES=$(ls {alert,alertclient,util,platform,platform/detail}/*.cc | grep -v _test.cc)
//   clang++ -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -I. -Iinclude
//       fuzz/message_fuzz.cc $SOURCES -lpugixml -lpthread -o message_fuzz
//   ./message_fuzz -max_len=4096
//
// Every input must be either rejected or read into a message whose text reads
// back into an equal message and is then written identically.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/HqMessageBase.h"

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
