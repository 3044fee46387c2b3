#include "tarnalert/util/NTBasicLib.h"

#include <algorithm>
#include <cwchar>
#include <string_view>

#include "tarnalert/platform/text/FXString.h"

namespace {

// The entities, each with its character.
struct Entity {
  wchar_t character;
  std::wstring_view text;
};
constexpr Entity kEntities[] = {{L'&', L"&amp;"}, {L'<', L"&lt;"}, {L'>', L"&gt;"}};

// True for the characters htmlEncode writes as entities.
inline bool IsEscaped(wchar_t c) { return c == L'&' || c == L'<' || c == L'>'; }

}  // namespace

namespace NTBasicLib {

std::wstring htmlEncode(const wchar_t* text) {
  std::wstring out;
  if (text == nullptr) return out;
  const std::wstring_view in(text);
  // Room for a quarter more: most texts fit without growing, and a text
  // with more to escape grows the usual way.
  out.reserve(in.size() + in.size() / 4 + 16);
  // One pass: each input character is written once, so an ampersand the
  // output gains is never escaped again. Runs of plain text go in whole;
  // blocks of eight characters are tested together (a loop without an early
  // exit, which is vectorized), as most blocks hold nothing to escape.
  constexpr size_t kBlock = 8;
  size_t copied = 0;
  size_t at = 0;
  while (at < in.size()) {
    if (in.size() - at >= kBlock) {
      bool any = false;
      for (size_t k = 0; k < kBlock; ++k) any |= IsEscaped(in[at + k]);
      if (!any) {
        at += kBlock;
        continue;
      }
    }
    for (const size_t end = std::min(in.size(), at + kBlock); at < end; ++at) {
      const wchar_t c = in[at];
      if (!IsEscaped(c)) continue;
      if (at > copied) out.append(in.data() + copied, at - copied);
      const std::wstring_view entity = c == L'&'   ? kEntities[0].text
                                       : c == L'<' ? kEntities[1].text
                                                   : kEntities[2].text;
      out.append(entity.data(), entity.size());
      copied = at + 1;
    }
  }
  out.append(in, copied, std::wstring_view::npos);
  return out;
}

std::wstring htmlDecode(const wchar_t* text) {
  std::wstring out;
  if (text == nullptr) return out;
  const std::wstring_view in(text);
  out.reserve(in.size());
  size_t at = 0;
  while (at < in.size()) {
    // One pass: copy up to the next ampersand in one piece, then decode at
    // most one entity there; decoded characters are never looked at again.
    size_t amp = in.find(L'&', at);
    if (amp == std::wstring_view::npos) amp = in.size();
    out.append(in, at, amp - at);
    at = amp;
    if (at == in.size()) break;
    const Entity* entity = nullptr;
    for (const Entity& candidate : kEntities) {
      if (in.compare(at, candidate.text.size(), candidate.text) == 0) entity = &candidate;
    }
    if (entity != nullptr) {
      out.push_back(entity->character);
      at += entity->text.size();
    } else {
      out.push_back(L'&');
      ++at;
    }
  }
  return out;
}

std::string htmlEncode(const char* text) {
  return FXString::ToString(htmlEncode(FXString::ToWstring(text).c_str()));
}

std::string htmlDecode(const char* text) {
  return FXString::ToString(htmlDecode(FXString::ToWstring(text).c_str()));
}

}  // namespace NTBasicLib
