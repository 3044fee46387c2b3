// platform/env: the seam between the library and the host. Includes no
// other platform folder (order: text, env -> files -> system, event ->
// message).
//
// Env: the one object behind every platform call of the library. Its first
// part is the operating system (settings, files, directories, locks, the
// clock); its second part is a set of hooks (the event catalogue, the debug
// log sink, the server alert adapter back-end, e-mail delivery, platform
// information). The platform classes (EvEvent, KTAlert, KTPlatformInfo,
// FXFile, the time functions, ...) never read environment variables or call
// the operating system themselves: they ask the Env in force.
//
// Env::Default() is the real environment: POSIX for the operating system
// part, settings from TARNALERT_* environment variables and settings files
// (docs/settings.md), and for the hooks the embedded catalogue plus
// per-locale files, an O_APPEND log file and a spool directory. It belongs to
// the library and is never deleted.
//
// Tests and tools swap services by deriving from EnvWrapper, overriding only
// what they need, and putting the object in force with ScopedEnv. The default
// hooks read their settings through Env::Current(), so the settings of an
// installed wrapper govern the services it forwards to. An Env must be safe to
// call from any thread; Install is meant for start-up and tests.
//
// Re-entrancy: WriteLogLine and CatalogText must neither log nor call
// CatalogText themselves (the debug log calls the first, and the default
// catalogue logs the problems of its files).
#ifndef TARNALERT_PLATFORM_ENV_ENV_H_
#define TARNALERT_PLATFORM_ENV_ENV_H_

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "tarnalert/platform/Export.h"

class EvAlertEx;

namespace tarnalert {

// An address of an e-mail request that the message did not go to as the
// request wrote it.
struct AddressNote {
  enum Kind {
    kLeftOut,         // not a valid address: the message never went to it
    kSenderReplaced,  // the sender was not valid; `replacedBy` was sent instead
    kDeferred,        // refused for now: kept in the outbox for this address
    kRefused,         // refused for good: recorded in the outbox's failed/
  };
  Kind kind = kLeftOut;
  std::string role;        // "To", "Cc", "Bcc" or "sender"; empty when not known
  std::string address;     // as the request gave it
  std::string reason;      // why, in words or as the server's reply
  std::string replacedBy;  // kSenderReplaced only
};

// What a delivery back-end reports for one e-mail request. A hook of its own
// needs to set only the code and the text; the library's delivery also
// fills the rest.
struct DeliveryResult {
  DeliveryResult() = default;
  DeliveryResult(int64_t code, std::wstring text) : code(code), text(std::move(text)) {}

  int64_t code = -1;      // 0 = delivered to every recipient; -1 = nothing delivered it
  std::wstring text;      // why it failed; empty when there is nothing to say
  std::string messageId;  // without angle brackets; empty when none was made
  std::vector<std::string> deliveredTo;  // the recipients that took the message
  std::string keptAs;              // the outbox file where the message (or a part of it) waits
  std::vector<AddressNote> notes;  // addresses left out, refused or replaced
};

// What StatPath, StatFile and StatFileAt report about a file.
struct FileInfo {
  bool isDirectory = false;
  bool isRegular = false;
  bool isSymbolicLink = false;  // only StatFileAt, which does not follow links
  uint64_t size = 0;
  uint32_t mode = 0;   // permission bits (07777)
  uint32_t owner = 0;  // user id of the owner
  uint64_t device = 0;
  uint64_t inode = 0;
  time_t modified = 0;  // seconds since 1970
};

class TARNALERT_EXPORT Env {
 public:
  Env() = default;
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;
  virtual ~Env();

  // The real environment; belongs to the library and is never deleted.
  static Env* Default();
  // The environment in force: the installed one, else Default().
  static Env* Current();
  // Puts `env` in force (null puts the default back) and returns the Env
  // installed before, or null when none was. The caller keeps ownership of
  // `env`. Install(Install(x)) therefore restores what was there before.
  static Env* Install(Env* env);

  // --- Settings -------------------------------------------------------------
  // Value of the setting `name` (TARNALERT_<name>), or the empty string when
  // it is not set. The names are those of KnownSettings() (KnownSettings.h).
  virtual std::string GetSetting(const std::string& name) = 0;
  // The state directory of the user when STATE_DIR is not set:
  // $XDG_STATE_HOME/tarnalert, else $HOME/.local/state/tarnalert, else
  // /tmp/tarnalert-<uid>.
  virtual std::string UserStateDirectory() = 0;

  // --- Files ------------------------------------------------------------------
  // Every file call keeps POSIX conventions: on failure it returns -1 and
  // leaves the reason in errno. Calls interrupted by a signal are retried
  // (close excepted), so EINTR is never reported, and none of them waits
  // except LockFile.

  // Opens `path` with open(2) `flags` (O_CLOEXEC is always added) and `mode`
  // for a new file. Returns the descriptor.
  virtual int OpenFile(const std::string& path, int flags, mode_t mode) = 0;
  // Reads up to `size` bytes; returns the count read, 0 at the end.
  virtual ssize_t ReadFile(int fd, void* buffer, size_t size) = 0;
  // Writes up to `size` bytes once; returns the count written, which may be
  // short (a full disk). Loop with WritableFile::Append.
  virtual ssize_t WriteFile(int fd, const void* data, size_t size) = 0;
  // Makes the data written to `fd` durable (fsync).
  virtual int SyncFile(int fd) = 0;
  // Closes `fd`. Never retried: after close the descriptor is gone even when
  // an error (e.g. a deferred write error of NFS) is reported.
  virtual int CloseFile(int fd) = 0;
  // Renames `from` to `to`, replacing `to` atomically. Durable only once the
  // directories involved are synced.
  virtual int RenameFile(const std::string& from, const std::string& to) = 0;
  // Removes the name `path` (a symbolic link itself, never its target).
  virtual int RemoveFile(const std::string& path) = 0;

  // --- Directories ------------------------------------------------------------
  // Creates the directory `path` (its parent must exist) with `mode`.
  virtual int CreateDirectory(const std::string& path, mode_t mode) = 0;
  // Fills `info` for the file `path` (following symbolic links).
  virtual int StatPath(const std::string& path, FileInfo* info) = 0;
  // Fills `info` for the open descriptor `fd`.
  virtual int StatFile(int fd, FileInfo* info) = 0;
  // Makes the creations, renames and removals of names inside `directory`
  // durable. Without it a power loss can undo a rename or a creation even
  // though the file's data itself was synced.
  virtual int SyncDirectory(const std::string& directory) = 0;

  // --- Names inside an open directory -----------------------------------------
  // These calls work on a descriptor from OpenDirectory, so a directory
  // renamed or replaced by a link after it was opened cannot redirect them.
  // `name` is one name inside that directory (no '/'). SyncFile on the
  // directory's descriptor makes the changes of names in it durable.

  // Opens the directory `path` itself for the calls below (O_DIRECTORY |
  // O_NOFOLLOW | O_RDONLY): fails with ELOOP or ENOTDIR for a symbolic link.
  virtual int OpenDirectory(const std::string& path) = 0;
  // OpenDirectory for the directory `name` inside `directory`.
  virtual int OpenDirectoryAt(int directory, const std::string& name) = 0;
  // OpenFile for `name` inside `directory` (openat).
  virtual int OpenFileAt(int directory, const std::string& name, int flags, mode_t mode) = 0;
  // RenameFile for `from` inside `fromDirectory` to `to` inside `toDirectory`
  // (renameat; the two may be one directory).
  virtual int RenameFileAt(int fromDirectory, const std::string& from, int toDirectory,
                           const std::string& to) = 0;
  // RemoveFile for `name` inside `directory` (unlinkat).
  virtual int RemoveFileAt(int directory, const std::string& name) = 0;
  // CreateDirectory for `name` inside `directory` (mkdirat).
  virtual int CreateDirectoryAt(int directory, const std::string& name, mode_t mode) = 0;
  // Fills `info` for `name` inside `directory`, not following a link.
  virtual int StatFileAt(int directory, const std::string& name, FileInfo* info) = 0;
  // Puts the names in `directory` but "." and ".." into `names`.
  virtual int ListDirectory(int directory, std::vector<std::string>* names) = 0;
  // Puts the target of the symbolic link `name` inside `directory` into
  // `target` (readlinkat).
  virtual int ReadLinkAt(int directory, const std::string& name, std::string* target) = 0;
  // Puts the absolute path of the working directory into `path` (getcwd):
  // relative paths start there.
  virtual int CurrentDirectory(std::string* path) = 0;
  // The effective user id of the process: the owner a directory must have
  // before the library trusts it.
  virtual uid_t EffectiveUserId() = 0;

  // --- Locks ------------------------------------------------------------------
  // Takes (lock true) or releases an exclusive advisory lock on `fd`. Taking
  // waits while another descriptor holds the lock.
  virtual int LockFile(int fd, bool lock) = 0;
  // Takes the exclusive advisory lock on `fd` without waiting: fails with
  // EWOULDBLOCK while another descriptor holds it. LockFile(fd, false)
  // releases it.
  virtual int TryLockFile(int fd) = 0;

  // --- Clock ------------------------------------------------------------------
  // Microseconds since 1970-01-01 UTC. Log timestamps, spool names and record
  // times come from here, so a test can pin the time.
  virtual uint64_t NowMicros() = 0;
  // Seconds since 1970-01-01 UTC, from NowMicros.
  time_t Now() { return static_cast<time_t>(NowMicros() / 1000000); }

  // --- Hook: event catalogue --------------------------------------------------
  // Puts the catalogue text of `messageId` in the language of `localeId` into
  // `text` and returns true; returns false (text untouched) for an unknown id.
  // A locale without a text of its own falls back to the default catalogue.
  virtual bool CatalogText(unsigned long messageId, unsigned long localeId, std::string* text) = 0;
  // A number for the texts CatalogText gives now: it changes whenever any of
  // them may have changed, and no other catalogue shares it (take new ones
  // from NewCatalogGeneration). Texts looked up before may be used again
  // while it stays the same. 0, the answer of an Env that does not say, means
  // that every text must be looked up again; an EnvWrapper that leaves the
  // catalogue to its target may forward its target's answer.
  virtual uint64_t CatalogGeneration() { return 0; }
  // A catalogue generation never handed out before; any thread may call it.
  static uint64_t NewCatalogGeneration();

  // --- Hook: debug log ----------------------------------------------------------
  // Verbosity: lines tagged with a level above it are not written.
  virtual int LogLevel() = 0;
  // Writes one finished line (ending in '\n') with a single write. Never throws.
  virtual void WriteLogLine(const std::string& line) = 0;

  // --- Hook: server alert adapter back-end -------------------------------------
  // Hands `alert` to the management server. 0 on success; otherwise non-zero
  // with the reason in `errorText`.
  virtual int SendAlertToServer(const EvAlertEx& alert, std::string* errorText) = 0;

  // --- Hook: e-mail delivery ------------------------------------------------------
  // Delivers one serialized e-mail request. Without a transport the answer is
  // {-1, L""}.
  virtual DeliveryResult DeliverEmail(const std::string& request, int deliveryOptions) = 0;

  // --- Hook: platform information ---------------------------------------------------
  // Client name of the physical machine for `focus`; empty when there is none.
  virtual std::string PhysicalMachineName(const std::string& focus) = 0;
  // Job results directory of `clientName`; empty when there is none.
  virtual std::string JobResultsDirectory(const std::string& clientName) = 0;
};

// Forwards every call to another Env; derive from it to replace one service.
class TARNALERT_EXPORT EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  std::string GetSetting(const std::string& name) override { return target_->GetSetting(name); }
  std::string UserStateDirectory() override { return target_->UserStateDirectory(); }
  int OpenFile(const std::string& path, int flags, mode_t mode) override {
    return target_->OpenFile(path, flags, mode);
  }
  ssize_t ReadFile(int fd, void* buffer, size_t size) override {
    return target_->ReadFile(fd, buffer, size);
  }
  ssize_t WriteFile(int fd, const void* data, size_t size) override {
    return target_->WriteFile(fd, data, size);
  }
  int SyncFile(int fd) override { return target_->SyncFile(fd); }
  int CloseFile(int fd) override { return target_->CloseFile(fd); }
  int RenameFile(const std::string& from, const std::string& to) override {
    return target_->RenameFile(from, to);
  }
  int RemoveFile(const std::string& path) override { return target_->RemoveFile(path); }
  int CreateDirectory(const std::string& path, mode_t mode) override {
    return target_->CreateDirectory(path, mode);
  }
  int StatPath(const std::string& path, FileInfo* info) override {
    return target_->StatPath(path, info);
  }
  int StatFile(int fd, FileInfo* info) override { return target_->StatFile(fd, info); }
  int SyncDirectory(const std::string& directory) override {
    return target_->SyncDirectory(directory);
  }
  int OpenDirectory(const std::string& path) override { return target_->OpenDirectory(path); }
  int OpenDirectoryAt(int directory, const std::string& name) override {
    return target_->OpenDirectoryAt(directory, name);
  }
  int OpenFileAt(int directory, const std::string& name, int flags, mode_t mode) override {
    return target_->OpenFileAt(directory, name, flags, mode);
  }
  int RenameFileAt(int fromDirectory, const std::string& from, int toDirectory,
                   const std::string& to) override {
    return target_->RenameFileAt(fromDirectory, from, toDirectory, to);
  }
  int RemoveFileAt(int directory, const std::string& name) override {
    return target_->RemoveFileAt(directory, name);
  }
  int CreateDirectoryAt(int directory, const std::string& name, mode_t mode) override {
    return target_->CreateDirectoryAt(directory, name, mode);
  }
  int StatFileAt(int directory, const std::string& name, FileInfo* info) override {
    return target_->StatFileAt(directory, name, info);
  }
  int ListDirectory(int directory, std::vector<std::string>* names) override {
    return target_->ListDirectory(directory, names);
  }
  int ReadLinkAt(int directory, const std::string& name, std::string* target) override {
    return target_->ReadLinkAt(directory, name, target);
  }
  int CurrentDirectory(std::string* path) override { return target_->CurrentDirectory(path); }
  uid_t EffectiveUserId() override { return target_->EffectiveUserId(); }
  int LockFile(int fd, bool lock) override { return target_->LockFile(fd, lock); }
  int TryLockFile(int fd) override { return target_->TryLockFile(fd); }
  uint64_t NowMicros() override { return target_->NowMicros(); }
  bool CatalogText(unsigned long messageId, unsigned long localeId, std::string* text) override {
    return target_->CatalogText(messageId, localeId, text);
  }
  int LogLevel() override { return target_->LogLevel(); }
  void WriteLogLine(const std::string& line) override { target_->WriteLogLine(line); }
  int SendAlertToServer(const EvAlertEx& alert, std::string* errorText) override {
    return target_->SendAlertToServer(alert, errorText);
  }
  DeliveryResult DeliverEmail(const std::string& request, int deliveryOptions) override {
    return target_->DeliverEmail(request, deliveryOptions);
  }
  std::string PhysicalMachineName(const std::string& focus) override {
    return target_->PhysicalMachineName(focus);
  }
  std::string JobResultsDirectory(const std::string& clientName) override {
    return target_->JobResultsDirectory(clientName);
  }

 private:
  Env* target_;
};

// Puts an Env in force for the life of the object, then puts back the one
// that was in force before (nested scopes unwind in order). Belongs to one
// thread; the Env must outlive the scope.
class ScopedEnv {
 public:
  explicit ScopedEnv(Env* env) : previous_(Env::Install(env)) {}
  ~ScopedEnv() { Env::Install(previous_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  Env* previous_;
};

}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_ENV_ENV_H_
