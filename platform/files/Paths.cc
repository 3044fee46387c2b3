#include "platform/files/Paths.h"

namespace tarnalert {

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool IsQueueFileName(const std::string& name, const std::string& suffix) {
  constexpr size_t kLongestName = 255;
  return name.size() > suffix.size() && name.size() <= kLongestName && name[0] != '.' &&
         name.find('/') == std::string::npos && name.find('\0') == std::string::npos &&
         name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace tarnalert
