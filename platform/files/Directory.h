// Directory: a directory the library writes into or reads trust from, held
// open by its descriptor, and the trust rule that decides whether a
// directory or a file another program could have put in place is used.
//
// The rule (docs/settings.md): the configured path is resolved once, from
// the root, one name at a time. Every directory on the resolved path must be
// owned by root or the effective user and not writable by group or others;
// a directory with the sticky bit (such as /tmp) may be writable by others
// when it is not the last. The directory itself must be owned by the
// effective user and not writable by group or others. A symbolic link on the
// way is followed only when root or the user owns it, and its target is
// checked by the same rule; so a link the user made to a private directory
// of theirs works, while one into another user's directory, or into one
// others can write, is refused with the reason. Each name is opened relative
// to the descriptor of the directory before it, never following a link
// (O_NOFOLLOW), and missing directories are made there (mkdirat, mode 0700);
// every later call goes through the descriptor (OpenFileAt, RenameFileAt,
// RemoveFileAt, SyncFile), so a name swapped for a link after the check
// redirects nothing.
//
// A Directory owns its descriptor and closes it through the Env that opened
// it; it may be moved but not copied, and belongs to one thread at a time.
#ifndef TARNALERT_PLATFORM_FILES_DIRECTORY_H_
#define TARNALERT_PLATFORM_FILES_DIRECTORY_H_

#include <ctime>
#include <functional>
#include <string>
#include <vector>

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

  // Opens the directory `path` (relative paths start at the working
  // directory) through `env` by the rule in the header; with `create` the
  // missing directories are made (mode 0700, each made durable in its
  // parent). Fails, leaving `out` closed, with an error that names the
  // directory and, for a refusal, the place at fault and why: "Refusing
  // directory D: owned by user U, not by user E", "...: /srv is writable by
  // group or others (mode 0777)", "...: the symbolic link L is owned by user
  // U, not by user E or root". A directory that cannot be made or opened
  // gives "Cannot create|open directory P: <system text>" with the errno
  // as code (-ENOENT when it is missing and not `create`).
  static CYqError Open(Env* env, const std::string& path, bool create, Directory* out);

  // Opens the directory `name` (one or more names) inside this one by the
  // same rule, starting from this descriptor; made when missing with
  // `create`. Fails as Open does.
  CYqError OpenDirectory(const std::string& name, bool create, Directory* out) const;

  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  Env* env() const { return env_; }
  // The path as configured (for messages); resolved() is where it led.
  const std::string& path() const { return path_; }
  const std::string& resolved() const { return resolved_; }
  // The path of `name` inside the directory, for messages.
  std::string PathOf(const std::string& name) const { return path_ + "/" + name; }

  // Puts the names in the directory that end in `suffix` and do not start
  // with a dot (files being written) into `names`, sorted. Fails with
  // "Cannot list directory P: <system text>".
  CYqError List(const std::string& suffix, std::vector<std::string>* names) const;

  // Removes the file `name` (unlinkat). The error names it.
  CYqError Remove(const std::string& name) const;
  // Moves the file `name` to `toName` in `to` (renameat; `to` may be this
  // directory). Durable once both directories are synced.
  CYqError Move(const std::string& name, const Directory& to, const std::string& toName) const;

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
  friend class TrustWalk;
  void Close();

  Env* env_ = nullptr;
  int fd_ = -1;
  std::string path_;
  std::string resolved_;
};

// How a file that a setting names must be kept before OpenTrustedFile
// opens it: every file so opened is a regular file owned by the effective
// user or root that group and others may not write (whoever may write a CA
// file can read the mail); a private one (a key, a password) may not be
// read by them either.
enum class FileKeeping { kTrusted, kPrivate };

// Opens the file `path` for reading, resolving it by the rule in the
// header (its directories as those on the way to a directory; a link in its
// place followed under the same conditions), without following a link at
// the last step and without waiting (a FIFO fails at once). On success the
// descriptor is in *fd and the file's description in *info. `what` names
// the file in messages ("the password file"): "Refusing the password file
// P: may be read by group or others (mode 0644); make it private: chmod 600
// P", "...: not a regular file", "Cannot open the CA file P: <system text>".
// `refused` (may be null) tells a refusal by the rule from a failure of the
// system.
CYqError OpenTrustedFile(Env* env, const std::string& what, const std::string& path,
                         FileKeeping keeping, int* fd, FileInfo* info, bool* refused = nullptr);
// The same for `name` inside the checked directory `dir`.
CYqError OpenTrustedFileAt(const Directory& dir, const std::string& what, const std::string& name,
                           FileKeeping keeping, int* fd, FileInfo* info, bool* refused = nullptr);

// Temporary files older than this are taken for the remains of a writer
// that was killed: no writer of ours keeps one open this long.
constexpr time_t kStaleTemporaryAge = 3600;

// True for the temporary names WriteFileDurably uses (".<name>.tmp").
bool IsDurableWriteTemporary(const std::string& name);

}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_FILES_DIRECTORY_H_
