// Catalogue ids with a fixed meaning in notification templates, shared by the
// set-up of a rule and the filling of its template.
#ifndef TARNALERT_ALERTCLIENT_DETAIL_TOKENIDS_H_
#define TARNALERT_ALERTCLIENT_DETAIL_TOKENIDS_H_

namespace tarnalert {
namespace detail {

// The texts that open and close the subject of a template.
constexpr int kSubjectEndMarkerId = 0x4a000001;
constexpr int kSubjectStartMarkerId = 0x4a000002;

// Ids that mark or link rather than carry a value: they never get flags or a
// text of their own, and are never given the not-applicable text.
inline bool IsMarkerToken(int id) {
  return id == kSubjectEndMarkerId || id == kSubjectStartMarkerId || id == 0x4a0003b6 ||
         id == 0x4a0003b9;
}

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_DETAIL_TOKENIDS_H_
