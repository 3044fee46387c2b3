// Directory: a directory the library writes into or reads trust from, held
// open by its descriptor. Every file call goes through the descriptor
// (OpenFileAt, RenameFileAt, RemoveFileAt, SyncFile), so renaming the
// directory or putting a symbolic link in its place after it was checked
// redirects nothing.
//
// What is trusted (docs/settings.md): the directory itself, and, when it lies
// inside the state directory, the state directory and every directory between
// the two. Each of them must be a real directory (not a symbolic link), owned
// by the effective user and not writable by group or others. Directories
// above those are not looked at. Missing directories are made with mode 0700.
//
// A Directory owns its descriptor and closes it through the Env that opened
// it; it may be moved but not copied, and belongs to one thread at a time.
#ifndef TARNALERT_PLATFORM_FILES_DIRECTORY_H_
#define TARNALERT_PLATFORM_FILES_DIRECTORY_H_

#include <ctime>
#include <functional>
#include <string>

#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {

class Directory {
 public:
  Directory() = default;
  ~Directory();
  Directory(Directory&& other) noexcept;
  Directory& operator=(Directory&& other) noexcept;
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;

  // Opens the directory `path` through `env` after checking it as the
  // header says; with `create` the missing directories are made first (mode
  // 0700, each made durable in its parent). Fails, leaving `out` closed, with
  // an error naming the directory at fault and why: "Refusing directory D:
  // it is a symbolic link", "...: owned by user U, not by user E", "...:
  // writable by group or others (mode M)", or the system's text when it
  // cannot be made or opened (ENOENT when it is missing and not `create`).
  static CYqError Open(Env* env, const std::string& path, bool create, Directory* out);

  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  Env* env() const { return env_; }
  const std::string& path() const { return path_; }
  // The path of `name` inside the directory, for messages.
  std::string PathOf(const std::string& name) const { return path_ + "/" + name; }

  // Makes the creations, renames and removals of names in the directory
  // durable (fsync of its descriptor). The error names the directory.
  CYqError Sync() const;

  // Removes the regular files (never links or directories) for which
  // `isTemporary(name)` holds that were last modified more than `maxAge`
  // seconds before the Env's clock: the remains of writers killed mid-write.
  // Best effort: what cannot be listed or removed stays. Returns the count
  // removed.
  int RemoveStaleTemporaries(const std::function<bool(const std::string&)>& isTemporary,
                             time_t maxAge) const;

 private:
  void Close();

  Env* env_ = nullptr;
  int fd_ = -1;
  std::string path_;
};

// Temporary files older than this are taken for the remains of a writer
// that was killed: no writer of ours keeps one open this long.
constexpr time_t kStaleTemporaryAge = 3600;

// True for the temporary names WriteFileDurably uses (".<name>.tmp").
bool IsDurableWriteTemporary(const std::string& name);

}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_FILES_DIRECTORY_H_
