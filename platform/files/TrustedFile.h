// The one reader of the files that settings name: a CA's certificates, a
// client certificate and its key, a password. Each is opened by the trust
// rule of Directory.h (OpenTrustedFile: a regular file owned by the user or
// root that group and others may not write, a private one not readable by
// them either), without waiting, and read whole within a size bound.
//
// Functions keep no state and may be called from any thread.
#ifndef TARNALERT_PLATFORM_FILES_TRUSTEDFILE_H_
#define TARNALERT_PLATFORM_FILES_TRUSTEDFILE_H_

#include <cstddef>
#include <string>

#include "platform/files/Directory.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {

// Reads the whole file `path` into `out`, checked as `keeping` says; `what`
// names it in messages ("the CA file"). Fails, with `out` empty (and wiped
// for a private file), with the messages of OpenTrustedFile, "Refusing
// <what> P: larger than N bytes", or "Cannot read P: <system text>".
CYqError ReadTrustedFile(Env* env, const std::string& what, const std::string& path,
                         FileKeeping keeping, size_t maxBytes, std::string* out);

// Overwrites `secret` before it is released.
void WipeSecret(std::string* secret);

}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_FILES_TRUSTEDFILE_H_
