// Fuzz target: HTML entity encoding and decoding.
//
// Decoding the encoding of any text gives the text back, in wide and in
// narrow (UTF-8) form, and the encoding holds no bare "<", ">" or "&" that
// does not start an entity.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tarnalert/platform/text/FXString.h"
#include "tarnalert/util/NTBasicLib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  bytes.erase(bytes.find('\0') == std::string::npos ? bytes.size() : bytes.find('\0'));

  // Wide text: whatever the bytes, their conversion is valid text.
  std::wstring wide = FXString::ToWstring(bytes);
  std::wstring encoded = NTBasicLib::htmlEncode(wide.c_str());
  if (encoded.find_first_of(L"<>") != std::wstring::npos) std::abort();
  if (NTBasicLib::htmlDecode(encoded.c_str()) != wide) std::abort();

  // Narrow text round-trips whenever it is valid UTF-8.
  std::string narrow = FXString::ToString(wide);
  if (narrow == bytes &&
      NTBasicLib::htmlDecode(NTBasicLib::htmlEncode(narrow.c_str()).c_str()) != narrow) {
    std::abort();
  }
  return 0;
}
