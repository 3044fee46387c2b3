// Path helpers: taking a path apart, and telling the names a person may give
// for the files of a queue directory. They hold no state and may be called
// from any thread. (Directories are made and opened by Directory.)
#ifndef TARNALERT_PLATFORM_FILES_PATHS_H_
#define TARNALERT_PLATFORM_FILES_PATHS_H_

#include <string>

namespace tarnalert {

// The directory part of `path` ("." when it has none, "/" for "/x").
std::string DirectoryOf(const std::string& path);

// True when `name` may name a file of a queue directory (the spool, the
// outbox) as a person gives it: one name, not a path (no '/'), not hidden
// or temporary (no leading '.'), ending in `suffix` after at least one
// character, and no longer than a file name may be.
bool IsQueueFileName(const std::string& name, const std::string& suffix);

}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_FILES_PATHS_H_
