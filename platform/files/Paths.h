// Path helpers on top of the Env: making a directory tree and taking a path
// apart. They hold no state and may be called from any thread.
#ifndef TARNALERT_PLATFORM_FILES_PATHS_H_
#define TARNALERT_PLATFORM_FILES_PATHS_H_

#include <string>

#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {

// Creates the directory `path` and its missing parents with mode 0700
// through `env`, syncing the parent of each one made so that a power loss
// cannot take it back. Success when `path` is a durable directory afterwards
// (made by this call or another); otherwise an error naming the directory that could not
// be made, with the system's text (ENOTDIR when a file that is not a
// directory is in the way).
CYqError MakeDirectories(Env* env, const std::string& path);

// The directory part of `path` ("." when it has none, "/" for "/x").
std::string DirectoryOf(const std::string& path);

}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_FILES_PATHS_H_
