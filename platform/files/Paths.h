// Path helpers: taking a path apart. They hold no state and may be called
// from any thread. (Directories are made and opened by Directory.)
#ifndef TARNALERT_PLATFORM_FILES_PATHS_H_
#define TARNALERT_PLATFORM_FILES_PATHS_H_

#include <string>

namespace tarnalert {

// The directory part of `path` ("." when it has none, "/" for "/x").
std::string DirectoryOf(const std::string& path);

}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_FILES_PATHS_H_
