// What the fills of one thread work out from texts alone, kept for its later
// fills: a template prepared for its format, the form a token text is
// searched in, and where the search texts of a list stand in a template. Each entry is keyed on the
// very texts it was made from, so it holds whatever catalogue, configuration or alert those texts
// came from. The memo keeps a bounded amount: search texts handed out stay valid while a Use of the
// thread lives, and a memo grown too large starts afresh when the outermost Use begins.
#ifndef TARNALERT_ALERTCLIENT_DETAIL_FILLMEMO_H_
#define TARNALERT_ALERTCLIENT_DETAIL_FILLMEMO_H_

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

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

  // The template `raw` prepared for a fill in `format` with the subject
  // markers `start` and `end`: `prepare()` gives it the first time. Longer
  // templates are prepared every time.
  std::wstring PreparedTemplate(const std::string& raw, int format, const std::wstring& start,
                                const std::wstring& end,
                                const std::function<std::wstring()>& prepare);

  TokenPlaceMemo& tokenPlaces() { return tokenPlaces_; }

 private:
  static FillMemo& ThisThreads();

  // Search texts kept at most between fills.
  static constexpr size_t kSearchTextCapacity = 1024;
  // Prepared templates kept at most, and the longest kept.
  static constexpr size_t kTemplateCapacity = 8;
  static constexpr size_t kLongestTemplate = 64 * 1024;

  struct Prepared {
    std::string raw;
    int format;
    std::wstring start, end;
    std::wstring prepared;
  };

  int uses_ = 0;
  std::unordered_map<std::wstring, std::wstring> searchTexts_[2];  // plain, HTML
  std::vector<Prepared> templates_;
  size_t nextTemplate_ = 0;  // the one replaced next once full
  TokenPlaceMemo tokenPlaces_;
};

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_DETAIL_FILLMEMO_H_
