// Fuzz target: the template text operations with markers and values.
//
// The input is split at NUL bytes into a template, a search text and a
// replacement. Replacing must agree with the straightforward loop, and
// expanding the layout markers and trimming rows must end for every input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tarnalert/alertclient/TemplateText.h"
#include "tarnalert/platform/text/FXString.h"

namespace {

std::vector<std::wstring> SplitAtNul(const uint8_t* data, size_t size) {
  std::vector<std::wstring> parts(3);
  size_t part = 0;
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0 && part < 2) {
      parts[part++] = FXString::ToWstring(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  parts[part] = FXString::ToWstring(current);
  return parts;
}

std::wstring ReplaceEachOnce(const std::wstring& text, const std::wstring& find,
                             const std::wstring& with) {
  if (find.empty()) return text;
  std::wstring result;
  size_t from = 0;
  for (size_t at = text.find(find); at != std::wstring::npos; at = text.find(find, from)) {
    result.append(text, from, at - from).append(with);
    from = at + find.size();
  }
  return result.append(text, from, std::wstring::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::wstring> parts = SplitAtNul(data, size);
  std::wstring text = parts[0];
  const std::wstring& find = parts[1];
  const std::wstring& with = parts[2];

  // Replacing is exact, left to right and never looks inside what it
  // inserted: the same as the straightforward loop.
  std::wstring replaced = text;
  replaceWString(replaced, find, with);
  if (replaced != ReplaceEachOnce(text, find, with)) std::abort();

  for (bool html : {false, true}) {
    DecodeMsgTabForNotifMessage(DecodeNewLineForNotifMessage(text, html), html);
  }
  std::wstring body = text;
  TrimNotApplicableRowsFromHtmlBody(body, 57);
  TrimNotApplicableRowsFromHtmlBody(body, 74);
  TrimNotApplicableRowsFromHtmlBody(body, find.c_str(), with.c_str(), nullptr, 200);
  return 0;
}
