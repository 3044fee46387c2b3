#include "platform/files/Paths.h"

#include <cerrno>

namespace tarnalert {

namespace {

CYqError CannotCreate(const std::string& path, int error) {
  return FXErrorUtil::ErrorErrNo(FXCodeLocation("Paths", "MakeDirectories", __LINE__), error,
                                 "Cannot create directory %s: %s", path.c_str(),
                                 FXErrorUtil::ErrorText(error).c_str());
}

// Success when `path` is a directory now; otherwise ENOTDIR, or `missing`
// when there is nothing at `path`.
CYqError ExpectDirectory(Env* env, const std::string& path, int missing) {
  FileInfo info;
  if (env->StatPath(path, &info) != 0) return CannotCreate(path, missing);
  return info.isDirectory ? CYqError::Success() : CannotCreate(path, ENOTDIR);
}

}  // namespace

CYqError MakeDirectories(Env* env, const std::string& path) {
  if (path.empty()) return CannotCreate(path, ENOENT);
  FileInfo info;
  if (env->StatPath(path, &info) == 0) {
    return info.isDirectory ? CYqError::Success() : CannotCreate(path, ENOTDIR);
  }
  const std::string parent = DirectoryOf(path);
  if (parent != path && parent != "." && parent != "/") {
    CYqError error = MakeDirectories(env, parent);
    if (error.IsError()) return error;
  }
  if (env->CreateDirectory(path, 0700) != 0) {
    const int error = errno;
    // Another thread or process may have made it meanwhile.
    return error == EEXIST ? ExpectDirectory(env, path, error) : CannotCreate(path, error);
  }
  // The new name lives in the parent: without this a power loss can take the
  // directory back, and every file synced into it with it.
  if (env->SyncDirectory(parent) != 0) {
    const int error = errno;
    return FXErrorUtil::ErrorErrNo(FXCodeLocation("Paths", "MakeDirectories", __LINE__), error,
                                   "Created directory %s but cannot flush directory %s: %s",
                                   path.c_str(), parent.c_str(),
                                   FXErrorUtil::ErrorText(error).c_str());
  }
  return CYqError::Success();
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace tarnalert
