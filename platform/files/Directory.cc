#include "platform/files/Directory.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <utility>
#include <vector>

namespace tarnalert {

namespace {

constexpr mode_t kNewDirectoryMode = 0700;
// Links followed in one walk before it is taken for a loop (the kernel's
// own limit).
constexpr int kMostLinks = 40;
constexpr uint32_t kWritableByGroupOrOthers = 022;
constexpr uint32_t kReadableByGroupOrOthers = 044;
constexpr uint32_t kSticky = 01000;

#define DIRECTORY_LOCATION FXCodeLocation("Directory", __func__, __LINE__)

// The names of `path` between slashes, empty ones left out.
std::vector<std::string> NamesOf(const std::string& path) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) names.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

std::string Join(const std::string& directory, const std::string& name) {
  return directory == "/" ? "/" + name : directory + "/" + name;
}

std::string ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// `path` made absolute from `cwd`, with ".", ".." and empty names taken out
// by their spelling alone: what a path names when no link is on the way.
std::string Spelled(const std::string& cwd, const std::string& path) {
  std::vector<std::string> kept;
  for (const std::string& name : NamesOf(path[0] == '/' ? path : cwd + "/" + path)) {
    if (name == "..") {
      if (!kept.empty()) kept.pop_back();
    } else if (name != ".") {
      kept.push_back(name);
    }
  }
  std::string result;
  for (const std::string& name : kept) result += "/" + name;
  return result.empty() ? "/" : result;
}

std::string ModeText(uint32_t mode) {
  char text[16];
  std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode));
  return text;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

// Resolves a path by the trust rule of Directory.h, one name at a time,
// each opened relative to the checked directory before it. Holds the
// descriptors of the directories on the way; the one it started from (with
// BeginAt) stays its owner's.
class TrustWalk {
 public:
  explicit TrustWalk(Env* env) : env_(env), user_(env->EffectiveUserId()) {}
  ~TrustWalk() {
    while (!steps_.empty()) Pop();
  }
  TrustWalk(const TrustWalk&) = delete;
  TrustWalk& operator=(const TrustWalk&) = delete;

  // Starts at the root for an absolute `path`, else at the working directory.
  bool Begin(const std::string& path) {
    if (path.empty()) return Fail(ENOENT, "open directory \"\"", true);
    std::string cwd = "/";
    if (path[0] != '/' && env_->CurrentDirectory(&cwd) != 0) {
      return Fail(errno, "find the working directory", false);
    }
    target_ = Spelled(cwd, path);
    for (const std::string& name : NamesOf(path[0] == '/' ? path : cwd + "/" + path)) {
      names_.push_back(name);
    }
    return StartAtRoot();
  }

  // Starts at the checked directory `from` with the names of `relative`.
  void BeginAt(const Directory& from, const std::string& relative) {
    steps_.push_back({from.fd(), from.resolved(), false, kCheckedAsItself});
    target_ = Spelled(from.resolved(), relative);
    for (const std::string& name : NamesOf(relative)) names_.push_back(name);
  }

  // Walks to the last name as a directory, made when missing with `create`,
  // and checks it as the directory itself; its descriptor goes to `out`.
  bool ToDirectory(bool create, Directory* out) {
    while (!names_.empty()) {
      std::string name;
      if (!Next(&name)) return false;
      if (name.empty()) continue;
      if (!Check(kCheckedOnTheWay) || !Enter(name, create)) return false;
    }
    if (!Check(kCheckedAsItself)) return false;
    Step& last = Top();
    if (!last.owned) return Fail(EINVAL, "open directory " + last.path, true);
    out->env_ = env_;
    out->fd_ = std::exchange(last.fd, -1);
    out->resolved_ = last.path;
    return true;
  }

  // Walks to the last name as a file and opens it for reading, checked as
  // `keeping` says; its descriptor goes to `fd`, its description to `info`.
  bool ToFile(FileKeeping keeping, int* fd, FileInfo* info) {
    while (!names_.empty()) {
      std::string name;
      if (!Next(&name)) return false;
      if (name.empty()) {
        if (names_.empty()) return Fail(EISDIR, "open " + Top().path, true);
        continue;
      }
      if (!Check(kCheckedOnTheWay)) return false;
      if (!names_.empty()) {
        if (!Enter(name, false)) return false;
        continue;
      }
      const std::string path = Join(Top().path, name);
      const int opened =
          env_->OpenFileAt(Top().fd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0);
      if (opened < 0) {
        const int error = errno;
        FileInfo link;
        if (error == ELOOP && env_->StatFileAt(Top().fd, name, &link) == 0 && link.isSymbolicLink) {
          if (!Follow(name, link)) return false;
          continue;
        }
        return Fail(error, "open " + path, path == target_);
      }
      if (CheckFile(opened, path, keeping, info)) {
        *fd = opened;
        return true;
      }
      (void)env_->CloseFile(opened);  // only opened to be read
      return false;
    }
    return Fail(EISDIR, "open " + Top().path, true);
  }

  // After a failure: the errno, and either the reason of a refusal or the
  // action the system refused (with `failed_target()` when it concerns the
  // walk's target itself).
  int error() const { return error_; }
  const std::string& reason() const { return reason_; }
  const std::string& failed_action() const { return failed_action_; }
  bool failed_target() const { return failed_target_; }

 private:
  enum Checked { kNotChecked, kCheckedOnTheWay, kCheckedAsItself };
  struct Step {
    int fd;
    std::string path;  // resolved
    bool owned;
    Checked checked;
  };

  Step& Top() { return steps_.back(); }

  void Pop() {
    if (steps_.back().owned && steps_.back().fd >= 0) {
      (void)env_->CloseFile(steps_.back().fd);  // only read
    }
    steps_.pop_back();
  }

  bool StartAtRoot() {
    while (!steps_.empty()) Pop();
    const int fd = env_->OpenDirectory("/");
    if (fd < 0) return Fail(errno, "open directory /", false);
    steps_.push_back({fd, "/", true, kNotChecked});
    return true;
  }

  // Opens the directory `name` in the one on top (made there when missing,
  // with `create`) and puts it on top unchecked; or, for a link of that
  // name, follows it. False when the walk cannot go on.
  bool Enter(const std::string& name, bool create) {
    const std::string path = Join(Top().path, name);
    int fd = env_->OpenDirectoryAt(Top().fd, name);
    if (fd < 0 && errno == ENOENT && create) {
      if (env_->CreateDirectoryAt(Top().fd, name, kNewDirectoryMode) != 0 && errno != EEXIST) {
        return Fail(errno, "create directory " + path, path == target_);
      }
      // The new name lives in the parent: without this a power loss can
      // take the directory back, and every file synced into it with it.
      if (env_->SyncFile(Top().fd) != 0) return Fail(errno, "flush directory " + Top().path, false);
      fd = env_->OpenDirectoryAt(Top().fd, name);
    }
    if (fd >= 0) {
      steps_.push_back({fd, path, true, kNotChecked});
      return true;
    }
    const int error = errno;
    FileInfo info;
    if ((error == ELOOP || error == ENOTDIR) && env_->StatFileAt(Top().fd, name, &info) == 0) {
      if (info.isSymbolicLink) return Follow(name, info);
      if (!info.isDirectory) {
        return Fail(ENOTDIR, (create ? "create directory " : "open directory ") + path,
                    path == target_);
      }
    }
    return Fail(error, "open directory " + path, path == target_);
  }

  // Takes the next name to walk to into `name`; "." and ".." are done here
  // and leave it empty. A ".." above the directory the walk began at walks
  // to its parent from the root. False when that cannot start.
  bool Next(std::string* name) {
    *name = std::move(names_.front());
    names_.pop_front();
    if (*name != "." && *name != "..") return true;
    const bool up = *name == "..";
    name->clear();
    if (!up || Top().path == "/") return true;
    if (steps_.size() > 1) {
      Pop();
      return true;
    }
    const std::vector<std::string> parent = NamesOf(ParentOf(Top().path));
    names_.insert(names_.begin(), parent.begin(), parent.end());
    return StartAtRoot();
  }

  // "P is " naming the place `path`, or nothing when it is the target.
  std::string Is(const std::string& path) const { return path == target_ ? "" : path + " is "; }

  std::string Owner(uint32_t owner, bool rootToo) const {
    return "owned by user " + std::to_string(owner) + ", not by user " + std::to_string(user_) +
           (rootToo ? " or root" : "");
  }

  // Checks the directory on top as one on the way (owned by root or the
  // user; writable by others only when sticky) or as the directory itself
  // (owned by the user; writable by nobody else).
  bool Check(Checked as) {
    Step& step = Top();
    if (step.checked >= as) return true;
    FileInfo info;
    if (env_->StatFile(step.fd, &info) != 0) {
      return Fail(errno, "inspect directory " + step.path, step.path == target_);
    }
    const bool itself = as == kCheckedAsItself;
    if (itself ? info.owner != user_ : info.owner != user_ && info.owner != 0) {
      return Refuse(EPERM, Is(step.path) + Owner(info.owner, !itself));
    }
    if ((info.mode & kWritableByGroupOrOthers) != 0 && (itself || (info.mode & kSticky) == 0)) {
      return Refuse(
          EPERM, Is(step.path) + "writable by group or others (mode " + ModeText(info.mode) + ")");
    }
    step.checked = as;
    return true;
  }

  bool CheckFile(int fd, const std::string& path, FileKeeping keeping, FileInfo* info) {
    if (env_->StatFile(fd, info) != 0) return Fail(errno, "inspect " + path, path == target_);
    if (!info->isRegular) return Refuse(EINVAL, Is(path) + "not a regular file");
    if (info->owner != user_ && info->owner != 0) {
      return Refuse(EPERM, Is(path) + Owner(info->owner, true));
    }
    const std::string mode = " (mode " + ModeText(info->mode) + ")";
    if ((info->mode & kWritableByGroupOrOthers) != 0) {
      return Refuse(EPERM, Is(path) + "writable by group or others" + mode);
    }
    if (keeping == FileKeeping::kPrivate && (info->mode & kReadableByGroupOrOthers) != 0) {
      return Refuse(EPERM, (path == target_ ? "" : path + " ") + "may be read by group or others" +
                               mode + "; make it private: chmod 600 " + path);
    }
    return true;
  }

  // Follows the link `name` in the directory on top, which has been checked.
  bool Follow(const std::string& name, const FileInfo& link) {
    const std::string path = Join(Top().path, name);
    if (++links_ > kMostLinks) return Fail(ELOOP, "follow the symbolic link " + path, false);
    if (link.owner != user_ && link.owner != 0) {
      return Refuse(EPERM, "the symbolic link " + path + " is " + Owner(link.owner, true));
    }
    std::string target;
    if (env_->ReadLinkAt(Top().fd, name, &target) != 0) {
      return Fail(errno, "read the symbolic link " + path, false);
    }
    if (target.empty()) return Fail(ENOENT, "follow the symbolic link " + path, false);
    const std::vector<std::string> names = NamesOf(target);
    names_.insert(names_.begin(), names.begin(), names.end());
    return target[0] == '/' ? StartAtRoot() : true;
  }

  bool Refuse(int error, const std::string& reason) {
    error_ = error;
    reason_ = reason;
    return false;
  }

  bool Fail(int error, const std::string& action, bool target) {
    error_ = error;
    failed_action_ = action;
    failed_target_ = target;
    return false;
  }

  Env* env_;
  uid_t user_;
  std::vector<Step> steps_;
  std::deque<std::string> names_;
  std::string target_;  // what the path names by its spelling
  int links_ = 0;
  int error_ = 0;
  std::string reason_;
  std::string failed_action_;
  bool failed_target_ = false;
};

namespace {

// The error of the walk to the directory `path` that failed; `location`
// names the caller.
CYqError DirectoryError(const FXCodeLocation& location, const TrustWalk& walk,
                        const std::string& path) {
  if (!walk.reason().empty()) {
    return FXErrorUtil::ErrorErrNo(location, walk.error(), "Refusing directory %s: %s",
                                   path.c_str(), walk.reason().c_str());
  }
  return FXErrorUtil::ErrorErrNo(location, walk.error(), "Cannot %s: %s",
                                 walk.failed_action().c_str(),
                                 FXErrorUtil::ErrorText(walk.error()).c_str());
}

// The error of the walk to the file `path` (`what`) that failed.
CYqError FileError(const FXCodeLocation& location, const TrustWalk& walk, const std::string& what,
                   const std::string& path) {
  if (!walk.reason().empty()) {
    return FXErrorUtil::ErrorErrNo(location, walk.error(), "Refusing %s %s: %s", what.c_str(),
                                   path.c_str(), walk.reason().c_str());
  }
  const std::string action = walk.failed_target() ? "" : "cannot " + walk.failed_action() + ": ";
  return FXErrorUtil::ErrorErrNo(location, walk.error(), "Cannot open %s %s: %s%s", what.c_str(),
                                 path.c_str(), action.c_str(),
                                 FXErrorUtil::ErrorText(walk.error()).c_str());
}

}  // namespace

Directory::~Directory() { Close(); }

Directory::Directory(Directory&& other) noexcept
    : env_(other.env_),
      fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      resolved_(std::move(other.resolved_)) {}

Directory& Directory::operator=(Directory&& other) noexcept {
  if (this != &other) {
    Close();
    env_ = other.env_;
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    resolved_ = std::move(other.resolved_);
  }
  return *this;
}

void Directory::Close() {
  if (fd_ >= 0) (void)env_->CloseFile(fd_);  // only read: nothing to lose
  fd_ = -1;
}

CYqError Directory::Open(Env* env, const std::string& path, bool create, Directory* out) {
  out->Close();
  TrustWalk walk(env);
  Directory opened;
  if (!walk.Begin(path) || !walk.ToDirectory(create, &opened)) {
    return DirectoryError(DIRECTORY_LOCATION, walk, WithoutTrailingSlashes(path));
  }
  opened.path_ = WithoutTrailingSlashes(path);
  *out = std::move(opened);
  return CYqError::Success();
}

CYqError Directory::OpenDirectory(const std::string& name, bool create, Directory* out) const {
  out->Close();
  TrustWalk walk(env_);
  walk.BeginAt(*this, name);
  Directory opened;
  if (!walk.ToDirectory(create, &opened)) {
    return DirectoryError(DIRECTORY_LOCATION, walk, PathOf(name));
  }
  opened.path_ = PathOf(name);
  *out = std::move(opened);
  return CYqError::Success();
}

CYqError OpenTrustedFile(Env* env, const std::string& what, const std::string& path,
                         FileKeeping keeping, int* fd, FileInfo* info, bool* refused) {
  TrustWalk walk(env);
  const bool opened = walk.Begin(path) && walk.ToFile(keeping, fd, info);
  if (refused != nullptr) *refused = !walk.reason().empty();
  return opened ? CYqError::Success() : FileError(DIRECTORY_LOCATION, walk, what, path);
}

CYqError OpenTrustedFileAt(const Directory& dir, const std::string& what, const std::string& name,
                           FileKeeping keeping, int* fd, FileInfo* info, bool* refused) {
  TrustWalk walk(dir.env());
  walk.BeginAt(dir, name);
  const bool opened = walk.ToFile(keeping, fd, info);
  if (refused != nullptr) *refused = !walk.reason().empty();
  return opened ? CYqError::Success() : FileError(DIRECTORY_LOCATION, walk, what, dir.PathOf(name));
}

CYqError Directory::List(const std::string& suffix, std::vector<std::string>* names) const {
  names->clear();
  std::vector<std::string> all;
  if (env_->ListDirectory(fd_, &all) != 0) {
    const int error = errno;
    return FXErrorUtil::ErrorErrNo(DIRECTORY_LOCATION, error, "Cannot list directory %s: %s",
                                   path_.c_str(), FXErrorUtil::ErrorText(error).c_str());
  }
  for (std::string& name : all) {
    if (name[0] == '.' || name.size() <= suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
      continue;
    }
    names->push_back(std::move(name));
  }
  std::sort(names->begin(), names->end());
  return CYqError::Success();
}

CYqError Directory::Remove(const std::string& name) const {
  if (env_->RemoveFileAt(fd_, name) != 0) {
    const int error = errno;
    return FXErrorUtil::ErrorErrNo(DIRECTORY_LOCATION, error, "Cannot remove %s: %s",
                                   PathOf(name).c_str(), FXErrorUtil::ErrorText(error).c_str());
  }
  return CYqError::Success();
}

CYqError Directory::Move(const std::string& name, const Directory& to,
                         const std::string& toName) const {
  if (env_->RenameFileAt(fd_, name, to.fd_, toName) != 0) {
    const int error = errno;
    return FXErrorUtil::ErrorErrNo(DIRECTORY_LOCATION, error, "Cannot move %s to %s: %s",
                                   PathOf(name).c_str(), to.PathOf(toName).c_str(),
                                   FXErrorUtil::ErrorText(error).c_str());
  }
  return CYqError::Success();
}

CYqError Directory::Sync() const {
  if (env_->SyncFile(fd_) != 0) {
    const int error = errno;
    return FXErrorUtil::ErrorErrNo(DIRECTORY_LOCATION, error, "Cannot flush directory %s: %s",
                                   path_.c_str(), FXErrorUtil::ErrorText(error).c_str());
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

#undef DIRECTORY_LOCATION

}  // namespace tarnalert
