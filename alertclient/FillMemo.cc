// The per-thread memo of the fills (detail/FillMemo.h).
#include "alertclient/detail/FillMemo.h"

#include "tarnalert/platform/text/FXString.h"
#include "tarnalert/util/NTBasicLib.h"

namespace tarnalert {
namespace detail {

FillMemo& FillMemo::ThisThreads() {
  thread_local FillMemo memo;
  return memo;
}

FillMemo::Use::Use() : memo_(ThisThreads()) {
  if (memo_.uses_++ > 0) return;
  for (auto& texts : memo_.searchTexts_) {
    if (texts.size() > kSearchTextCapacity) texts.clear();
  }
}

FillMemo::Use::~Use() { --memo_.uses_; }

const std::wstring& FillMemo::SearchText(const std::wstring& tokenText, bool html) {
  std::unordered_map<std::wstring, std::wstring>& texts = searchTexts_[html ? 1 : 0];
  auto found = texts.find(tokenText);
  if (found != texts.end()) return found->second;
  std::wstring search = html ? NTBasicLib::htmlEncode(tokenText.c_str()) : tokenText;
  FXString::ToLower(search);
  return texts.emplace(tokenText, std::move(search)).first->second;
}

std::wstring FillMemo::PreparedTemplate(const std::string& raw, int format,
                                        const std::wstring& start, const std::wstring& end,
                                        const std::function<std::wstring()>& prepare) {
  for (const Prepared& kept : templates_) {
    if (kept.format == format && kept.raw == raw && kept.start == start && kept.end == end) {
      return kept.prepared;
    }
  }
  std::wstring prepared = prepare();
  if (raw.size() > kLongestTemplate) return prepared;
  Prepared fresh{raw, format, start, end, prepared};
  if (templates_.size() < kTemplateCapacity) {
    templates_.push_back(std::move(fresh));
  } else {
    templates_[nextTemplate_] = std::move(fresh);
    nextTemplate_ = (nextTemplate_ + 1) % kTemplateCapacity;
  }
  return prepared;
}

}  // namespace detail
}  // namespace tarnalert
