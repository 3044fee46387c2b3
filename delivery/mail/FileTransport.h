// The file transport: each message becomes one complete .eml file in a
// maildir-style outbox, so that a person or another program can read or
// pick it up. A file is written in tmp/, flushed, and renamed into new/, so
// a reader of new/ never sees half a message; files have mode 0600 and the
// directories 0700.
//
// The envelope is not kept: a blind-copy recipient appears nowhere in the
// file. Safe to call from any thread; names never collide.
#ifndef TARNALERT_DELIVERY_FILETRANSPORT_H_
#define TARNALERT_DELIVERY_FILETRANSPORT_H_

#include <string>

#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace detail {

// Writes `message` as <directory>/new/<name>.eml. Code 0 once the file is in
// place; otherwise kMailOutboxFailed with the failed step, the path and the
// system's reason, and nothing left in tmp/. `name` must be unique and a
// valid file name.
DeliveryResult WriteToOutbox(Env* env, const std::string& directory, const std::string& name,
                             const std::string& message);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_FILETRANSPORT_H_
