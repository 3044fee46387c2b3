// What became of one e-mail delivery, in words for the user of the tool:
// `send`, `mail test` and `demo` print it.
//
// Used on the tool's single thread.
#ifndef TARNALERT_TOOLS_DELIVERYTEXT_H_
#define TARNALERT_TOOLS_DELIVERYTEXT_H_

#include <string>

#include "tarnalert.h"

namespace tarnalert_tool {

// A sentence ("delivered.", "failed (code N): ...", "not delivered: no mail
// transport is configured ..."), then a line for each address left out,
// refused or replaced, each indented by two blanks.
std::string DeliveryOutcome(const tarnalert::DeliveryResult& result);

// The delivery option bits `options` in words with their number: "default,
// formatted (18)", "none (0)".
std::string DeliveryOptionsText(int options);

}  // namespace tarnalert_tool

#endif  // TARNALERT_TOOLS_DELIVERYTEXT_H_
