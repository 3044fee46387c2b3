// CrashEnv: a TestEnv that simulates a power loss on the real files.
//
// It remembers, for every file written through it, how much of it was last
// synced, and every creation, rename and removal of a name (files and
// directories) not yet made durable by a sync of its directory. Crash()
// then does what a power loss may do: it cuts each file back to its synced
// length and undoes, newest first, every name change whose directory was not
// synced (a replaced file gets its old content back).
//
// CrashAfter(n) lets n more file operations through and makes every later one
// fail with EIO, as if the machine had stopped there; the test then calls
// Crash() and looks at what is left. Files and names that existed before the
// CrashEnv saw them count as durable.
//
// Renames are tracked by name: a rename is made durable by syncing the
// directory of its target. Calls on a name inside an open directory are
// carried out as the path calls on the whole path, and SyncFile of a
// directory's descriptor as SyncDirectory. Safe to call from several threads.
#ifndef TARNALERT_PLATFORM_TESTING_CRASHENV_H_
#define TARNALERT_PLATFORM_TESTING_CRASHENV_H_

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/testing/TestEnv.h"

namespace tarnalert {
namespace test {

class CrashEnv : public TestEnv {
 public:
  // Lets `operations` more file operations through, then stops the machine.
  void CrashAfter(int operations);
  // True once an operation was refused because the machine had stopped.
  bool stopped() const;
  // Loses what a power loss would lose, and starts the machine again with
  // everything on disk counted as durable.
  void Crash();

  int OpenFile(const std::string& path, int flags, mode_t mode) override;
  ssize_t ReadFile(int fd, void* buffer, size_t size) override;
  ssize_t WriteFile(int fd, const void* data, size_t size) override;
  int SyncFile(int fd) override;
  int CloseFile(int fd) override;
  int RenameFile(const std::string& from, const std::string& to) override;
  int RemoveFile(const std::string& path) override;
  int CreateDirectory(const std::string& path, mode_t mode) override;
  int StatPath(const std::string& path, FileInfo* info) override;
  int StatFile(int fd, FileInfo* info) override;
  int SyncDirectory(const std::string& directory) override;
  int LockFile(int fd, bool lock) override;
  int TryLockFile(int fd) override;
  int OpenDirectory(const std::string& path) override;
  int OpenDirectoryAt(int directory, const std::string& name) override;
  int OpenFileAt(int directory, const std::string& name, int flags, mode_t mode) override;
  int RenameFileAt(int fromDirectory, const std::string& from, int toDirectory,
                   const std::string& to) override;
  int RemoveFileAt(int directory, const std::string& name) override;
  int CreateDirectoryAt(int directory, const std::string& name, mode_t mode) override;
  int StatFileAt(int directory, const std::string& name, FileInfo* info) override;
  int ListDirectory(int directory, std::vector<std::string>* names) override;
  int ReadLinkAt(int directory, const std::string& name, std::string* target) override;

 private:
  // A change of names in `directory` not yet made durable.
  struct NameChange {
    enum Kind { kCreateFile, kCreateDirectory, kRename, kRemove } kind;
    std::string directory;
    std::string path;                   // created, removed, or the rename's target
    std::string from;                   // the rename's source
    std::optional<std::string> before;  // the durable content the change replaced
  };

  // Counts one operation; false (errno EIO) when the machine has stopped.
  bool Runs();
  // The content of `path` a power loss would leave (its synced part), or
  // nothing when there is no file.
  std::optional<std::string> DurableContent(const std::string& path);
  // The whole path of `name` inside the open directory `directory`.
  std::string PathIn(int directory, const std::string& name);

  mutable std::mutex mutex_;
  int left_ = -1;  // operations still allowed; -1: no limit
  bool stopped_ = false;
  std::map<int, std::string> paths_;        // open descriptors
  std::map<int, bool> directories_;         // open descriptors of directories
  std::map<std::string, uint64_t> synced_;  // written files: their synced length
  std::vector<NameChange> pending_;         // oldest first
};

}  // namespace test
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_TESTING_CRASHENV_H_
