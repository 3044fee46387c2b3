// What the rules of one pass of NTAlertProcessClient::MatchAndSendAlert
// share, worked out once for the pass: the tokens the alert's type offers in
// the pass's configuration, each with its flags, and the texts of the
// detection time. MatchAndSendAlert makes one for its pass and drops it at
// the end, so nothing of it reaches a later pass, whose configuration may
// differ. Catalogue texts are not kept here: each rule fetches its own.
// Belongs to the thread of the pass.
#ifndef TARNALERT_ALERTCLIENT_DETAIL_PASSMEMO_H_
#define TARNALERT_ALERTCLIENT_DETAIL_PASSMEMO_H_

#include <optional>
#include <string>
#include <vector>

namespace tarnalert {
namespace detail {

// A token the alert's type offers, with the flags of its first occurrence.
struct OfferedToken {
  int id;
  int flags;
};

class PassMemo {
 public:
  // The tokens offered, in the order of their first occurrence: `collect()`
  // gives them the first time.
  template <class Collect>
  const std::vector<OfferedToken>& OfferedTokens(Collect collect) {
    if (!offered_) offered_ = collect();
    return *offered_;
  }

  // The text of the detection time in local time or UTC: `make()` gives it
  // the first time.
  template <class Make>
  const std::string& TimeText(bool utc, Make make) {
    std::optional<std::string>& text = times_[utc ? 1 : 0];
    if (!text) text = make();
    return *text;
  }

 private:
  std::optional<std::vector<OfferedToken>> offered_;
  std::optional<std::string> times_[2];
};

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_DETAIL_PASSMEMO_H_
