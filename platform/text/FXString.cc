#include "tarnalert/platform/text/FXString.h"

#include <cstdint>
#include <cstring>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one character at text[*at] (size bytes in all) and advances *at.
// Malformed sequences give U+FFFD and advance by the longest valid prefix
// (at least one byte), as the Unicode standard recommends.
char32_t DecodeOne(const unsigned char* text, size_t size, size_t* at) {
  unsigned char lead = text[*at];
  if (lead < 0x80) {
    ++*at;
    return lead;
  }
  int length;
  char32_t code;
  unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;   // no over-long forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
    if (lead == 0xF0) low = 0x90;   // no over-long forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    ++*at;
    return kReplacement;
  }
  ++*at;
  for (int i = 1; i < length; ++i) {
    if (*at >= size) return kReplacement;
    unsigned char byte = text[*at];
    if (i == 1 ? (byte < low || byte > high) : !IsContinuation(byte)) return kReplacement;
    code = (code << 6) | (byte & 0x3F);
    ++*at;
  }
  return code;
}

void EncodeOne(char32_t code, std::string& out) {
  if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = kReplacement;
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

std::wstring Widen(const char* text, size_t size) {
  // One character at most per byte; ASCII, the common case, maps to itself.
  std::wstring out(size, L'\0');
  wchar_t* written = out.data();
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  // Loops without an early exit, so that they are vectorized.
  unsigned bits = 0;
  for (size_t i = 0; i < size; ++i) bits |= bytes[i];
  if (bits < 0x80) {
    for (size_t i = 0; i < size; ++i) written[i] = static_cast<wchar_t>(bytes[i]);
    return out;
  }
  size_t at = 0;
  while (at < size) {
    if (bytes[at] < 0x80) {
      *written++ = static_cast<wchar_t>(bytes[at++]);
    } else {
      *written++ = static_cast<wchar_t>(DecodeOne(bytes, size, &at));
    }
  }
  out.resize(static_cast<size_t>(written - out.data()));
  return out;
}

std::string Narrow(const wchar_t* text, size_t size) {
  std::string out;
  // An all-ASCII text, the common case, is copied in one sweep; the loops
  // have no early exit, so that they are vectorized.
  uint32_t bits = 0;
  for (size_t i = 0; i < size; ++i) bits |= static_cast<uint32_t>(text[i]);
  if (bits < 0x80) {
    out.resize(size);
    for (size_t i = 0; i < size; ++i) out[i] = static_cast<char>(text[i]);
    return out;
  }
  out.reserve(size + size / 2);
  for (size_t i = 0; i < size; ++i) EncodeOne(static_cast<char32_t>(text[i]), out);
  return out;
}

}  // namespace

std::wstring FXString::ToWstring(const std::string& text) {
  return Widen(text.data(), text.size());
}

std::wstring FXString::ToWstring(const char* text) {
  return text ? Widen(text, std::strlen(text)) : std::wstring();
}

std::string FXString::ToString(const std::wstring& text) {
  return Narrow(text.data(), text.size());
}

std::string FXString::ToString(const wchar_t* text) {
  return text ? Narrow(text, std::wcslen(text)) : std::string();
}

bool FXString::IsValidUtf8(const char* text, size_t size) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  size_t at = 0;
  while (at < size) {
    if (bytes[at] < 0x80) {  // fast path for ASCII
      ++at;
      continue;
    }
    size_t before = at;
    char32_t code = DecodeOne(bytes, size, &at);
    if (code == kReplacement) {
      // U+FFFD itself is valid when spelled out as EF BF BD.
      if (at - before != 3 || bytes[before] != 0xEF) return false;
    }
  }
  return true;
}
namespace {

// A run of lower-case mappings: first, first + stride, ... last map to
// themselves plus delta.
struct CaseRun {
  char32_t first;
  char32_t last;
  unsigned char stride;
  int delta;
};

constexpr CaseRun kCaseRuns[] = {
#include "platform/text/CaseTable.inc"
};

char32_t LowerOne(char32_t code) {
  if (code < 0x80) return code >= 'A' && code <= 'Z' ? code + 32 : code;
  // The last run that starts at or before `code`.
  size_t low = 0, high = sizeof kCaseRuns / sizeof kCaseRuns[0];
  while (low < high) {
    size_t middle = low + (high - low) / 2;
    if (kCaseRuns[middle].first <= code) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low == 0) return code;
  const CaseRun& run = kCaseRuns[low - 1];
  if (code > run.last || (code - run.first) % run.stride != 0) return code;
  return static_cast<char32_t>(static_cast<int>(code) + run.delta);
}

}  // namespace

void FXString::ToLower(std::wstring& text) {
  for (wchar_t& c : text) {
    if (c >= L'A' && c <= L'Z') {
      c = static_cast<wchar_t>(c + 32);
    } else if (c >= 0x80 && static_cast<char32_t>(c) <= 0x10FFFF) {
      c = static_cast<wchar_t>(LowerOne(static_cast<char32_t>(c)));
    }
  }
}

int FXString::ToInt32(const char* text) {
  while (*text == ' ' || (*text >= '\t' && *text <= '\r')) ++text;
  bool negative = *text == '-';
  if (*text == '-' || *text == '+') ++text;
  constexpr long long kLimit = 2147483648LL;  // magnitude of the smallest int
  long long magnitude = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    magnitude = magnitude * 10 + (*text - '0');
    if (magnitude > kLimit) magnitude = kLimit;
  }
  if (negative) return static_cast<int>(-magnitude);
  return static_cast<int>(magnitude == kLimit ? kLimit - 1 : magnitude);
}
