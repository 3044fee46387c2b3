#include "delivery/DirectoryNames.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>

namespace tarnalert {
namespace detail {

CYqError ListNames(const std::string& directory, const std::string& suffix,
                   std::vector<std::string>* names) {
  names->clear();
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) {
    if (errno == ENOENT) return CYqError();
    const int error = errno;
    return FXErrorUtil::ErrorErrNo(FXCodeLocation("DirectoryNames", "ListNames", __LINE__), error,
                                   "cannot read the directory %s: %s", directory.c_str(),
                                   FXErrorUtil::ErrorText(error).c_str());
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.' || name.size() <= suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    names->push_back(name);
  }
  ::closedir(dir);
  std::sort(names->begin(), names->end());
  return CYqError();
}

}  // namespace detail
}  // namespace tarnalert
