// What the fills of one thread work out from texts alone, kept for its later
// fills: the form a token text is searched in, and where the search texts of
// a list stand in a template. Each entry is keyed on the very texts it was
// made from, so it holds whatever catalogue, configuration or alert those
// texts came from. The memo keeps a bounded amount: search texts handed out
// stay valid while a Use of the thread lives, and a memo grown too large
// starts afresh when the outermost Use begins.
#ifndef TARNALERT_ALERTCLIENT_DETAIL_FILLMEMO_H_
#define TARNALERT_ALERTCLIENT_DETAIL_FILLMEMO_H_

#include <string>
#include <unordered_map>

#include "alertclient/detail/TokenReplacement.h"

namespace tarnalert {
namespace detail {

class FillMemo {
 public:
  // The memo of the calling thread, for the life of the object.
  class Use {
   public:
    Use();
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    FillMemo& memo() { return memo_; }

   private:
    FillMemo& memo_;
  };

  // What `tokenText` is searched for as: lower-cased, and HTML-escaped first
  // when `html`. Valid while the Use it came through lives.
  const std::wstring& SearchText(const std::wstring& tokenText, bool html);

  TokenPlaceMemo& tokenPlaces() { return tokenPlaces_; }

 private:
  static FillMemo& ThisThreads();

  // Search texts kept at most between fills.
  static constexpr size_t kSearchTextCapacity = 1024;

  int uses_ = 0;
  std::unordered_map<std::wstring, std::wstring> searchTexts_[2];  // plain, HTML
  TokenPlaceMemo tokenPlaces_;
};

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_DETAIL_FILLMEMO_H_
