#include "platform/files/Directory.h"

#include <fcntl.h>

#include <cerrno>
#include <utility>
#include <vector>

#include "platform/env/Settings.h"
#include "platform/files/Paths.h"

namespace tarnalert {

namespace {

constexpr mode_t kNewDirectoryMode = 0700;

FXCodeLocation Here(int line) { return FXCodeLocation("Directory", "Open", line); }

CYqError Refused(int line, int error, const std::string& path, const std::string& why) {
  return FXErrorUtil::ErrorErrNo(Here(line), error, "Refusing directory %s: %s", path.c_str(),
                                 why.c_str());
}

CYqError Failed(int line, const char* what, const std::string& path, int error) {
  return FXErrorUtil::ErrorErrNo(Here(line), error, "Cannot %s directory %s: %s", what,
                                 path.c_str(), FXErrorUtil::ErrorText(error).c_str());
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The names of `relative` split at '/'; false when one of them is empty, "."
// or "..", which could lead out of the directory they are opened from.
bool SplitNames(const std::string& relative, std::vector<std::string>* names) {
  size_t start = 0;
  while (start <= relative.size()) {
    size_t end = relative.find('/', start);
    if (end == std::string::npos) end = relative.size();
    std::string name = relative.substr(start, end - start);
    if (name.empty() || name == "." || name == "..") return false;
    names->push_back(std::move(name));
    start = end + 1;
  }
  return true;
}

// Checks the open directory `fd` (at `path`) as Directory's header says.
CYqError Check(Env* env, int fd, const std::string& path) {
  FileInfo info;
  if (env->StatFile(fd, &info) != 0) return Failed(__LINE__, "inspect", path, errno);
  if (!info.isDirectory) return Refused(__LINE__, ENOTDIR, path, "not a directory");
  const uid_t user = env->EffectiveUserId();
  if (info.owner != user) {
    return Refused(
        __LINE__, EPERM, path,
        "owned by user " + std::to_string(info.owner) + ", not by user " + std::to_string(user));
  }
  if (info.mode & 022) {
    char mode[16];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.mode));
    return Refused(__LINE__, EPERM, path,
                   std::string("writable by group or others (mode ") + mode + ")");
  }
  return CYqError::Success();
}

// The error of an OpenDirectory(At) of `name` in `parent` (AT_FDCWD for a
// whole path) that failed with `error`.
CYqError OpenFailed(Env* env, int parent, const std::string& name, const std::string& path,
                    int error) {
  FileInfo info;
  if ((error == ENOTDIR || error == ELOOP) && env->StatFileAt(parent, name, &info) == 0) {
    if (info.isSymbolicLink) return Refused(__LINE__, ELOOP, path, "it is a symbolic link");
    if (!info.isDirectory) return Refused(__LINE__, ENOTDIR, path, "not a directory");
  }
  return Failed(__LINE__, "open", path, error);
}

}  // namespace

Directory::~Directory() { Close(); }

Directory::Directory(Directory&& other) noexcept
    : env_(other.env_), fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

Directory& Directory::operator=(Directory&& other) noexcept {
  if (this != &other) {
    Close();
    env_ = other.env_;
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

void Directory::Close() {
  if (fd_ >= 0) (void)env_->CloseFile(fd_);  // only read: nothing to lose
  fd_ = -1;
}

CYqError Directory::Open(Env* env, const std::string& path, bool create, Directory* out) {
  out->Close();
  if (path.empty()) return Failed(__LINE__, "open", path, ENOENT);
  // Inside the state directory, trust starts at the state directory: whoever
  // may replace a directory on the way may replace everything below it.
  std::string top = WithoutTrailingSlashes(path);
  std::vector<std::string> below;
  const std::string state = WithoutTrailingSlashes(detail::StateDirectory());
  if (!state.empty() && top.size() > state.size() + 1 && top.compare(0, state.size(), state) == 0 &&
      top[state.size()] == '/' && SplitNames(top.substr(state.size() + 1), &below)) {
    top = state;
  } else {
    below.clear();
  }

  if (create) {
    // Above the directories checked, only existence matters.
    CYqError error = MakeDirectories(env, top);
    if (error.IsError()) return error;
  }
  Directory current;
  current.env_ = env;
  current.path_ = top;
  current.fd_ = env->OpenDirectory(top);
  if (current.fd_ < 0) return OpenFailed(env, AT_FDCWD, top, top, errno);
  CYqError error = Check(env, current.fd_, top);
  if (error.IsError()) return error;

  for (const std::string& name : below) {
    Directory next;
    next.env_ = env;
    next.path_ = current.path_ + "/" + name;
    next.fd_ = env->OpenDirectoryAt(current.fd_, name);
    if (next.fd_ < 0 && errno == ENOENT && create) {
      if (env->CreateDirectoryAt(current.fd_, name, kNewDirectoryMode) != 0 && errno != EEXIST) {
        return Failed(__LINE__, "create", next.path_, errno);
      }
      // The new name lives in the parent: without this a power loss can
      // take the directory back, and every file synced into it with it.
      error = current.Sync();
      if (error.IsError()) return error;
      next.fd_ = env->OpenDirectoryAt(current.fd_, name);
    }
    if (next.fd_ < 0) return OpenFailed(env, current.fd_, name, next.path_, errno);
    error = Check(env, next.fd_, next.path_);
    if (error.IsError()) return error;
    current = std::move(next);
  }
  *out = std::move(current);
  return CYqError::Success();
}

CYqError Directory::Sync() const {
  if (env_->SyncFile(fd_) != 0) {
    const int error = errno;
    return FXErrorUtil::ErrorErrNo(FXCodeLocation("Directory", "Sync", __LINE__), error,
                                   "Cannot flush directory %s: %s", path_.c_str(),
                                   FXErrorUtil::ErrorText(error).c_str());
  }
  return CYqError::Success();
}

int Directory::RemoveStaleTemporaries(const std::function<bool(const std::string&)>& isTemporary,
                                      time_t maxAge) const {
  std::vector<std::string> names;
  if (env_->ListDirectory(fd_, &names) != 0) return 0;
  const time_t now = env_->Now();
  int removed = 0;
  for (const std::string& name : names) {
    if (!isTemporary(name)) continue;
    FileInfo info;
    if (env_->StatFileAt(fd_, name, &info) != 0 || !info.isRegular) continue;
    if (info.modified + maxAge >= now) continue;  // a writer may still be at work
    if (env_->RemoveFileAt(fd_, name) == 0) ++removed;
  }
  return removed;
}

bool IsDurableWriteTemporary(const std::string& name) {
  const std::string suffix = ".tmp";
  return name.size() > 1 + suffix.size() && name[0] == '.' &&
         name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace tarnalert
