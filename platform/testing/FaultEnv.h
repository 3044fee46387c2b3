// FaultEnv: a TestEnv whose file operations fail on demand, for tests of
// error paths: the Nth call of an operation fails with a chosen errno (once,
// or from then on), and writes can be made short. Calls are counted from the
// last Fail/Clear. Everything not failed goes to the real files.
//
// A call on a name inside an open directory counts as the call on the whole
// path (OpenFileAt as kOpen, RenameFileAt as kRename, ...), and SyncFile of a
// directory's descriptor as kSyncDirectory.
//
// One fault at a time. Safe to call from several threads.
#ifndef TARNALERT_PLATFORM_TESTING_FAULTENV_H_
#define TARNALERT_PLATFORM_TESTING_FAULTENV_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/testing/TestEnv.h"

namespace tarnalert {
namespace test {

// The file operations of the Env, for choosing which one fails.
enum class FileOp {
  kOpen,
  kRead,
  kWrite,
  kSync,
  kClose,
  kRename,
  kRemove,
  kCreateDirectory,
  kStat,
  kSyncDirectory,
  kLock,
  kOpenDirectory,
  kList,      // listing a directory
  kReadLink,  // reading a symbolic link
  kAny,       // every one of the above, counted together
};

class FaultEnv : public TestEnv {
 public:
  // The `nth` call (1 = the next) of `op` fails with `error`; with `sticky`
  // every later one too. Only calls on a path ending with `pathSuffix` count
  // (for descriptor calls: the path the descriptor was opened with; for a
  // rename: either path).
  void Fail(FileOp op, int nth, int error, bool sticky = false, const std::string& pathSuffix = "");
  // No fault from now on; write limits stay.
  void Clear();
  // Each write writes at most `bytes` bytes, as a signal or a nearly full
  // disk would; 0 makes writes report that nothing was written.
  void LimitWrites(size_t bytes);
  static constexpr size_t kNoLimit = ~size_t{0};
  // Number of calls of `op` counted since the last Fail or Clear.
  int Calls(FileOp op) const;

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
  int TryLockFile(int fd) override;

 private:
  // Counts the call and says whether it fails; sets errno when it does. A
  // rename counts when either of its paths matches.
  bool Fails(FileOp op, const std::string& path, const std::string& otherPath = "");
  std::string PathOf(int fd);
  std::string PathIn(int directory, const std::string& name) {
    const std::string path = PathOf(directory);
    return path == "/" ? "/" + name : path + "/" + name;
  }
  // Remembers the path of a descriptor just opened (nothing for -1).
  int Opened(int fd, const std::string& path, bool directory);

  mutable std::mutex mutex_;
  FileOp op_ = FileOp::kAny;
  int nth_ = 0;  // 0: no fault
  int error_ = 0;
  bool sticky_ = false;
  std::string suffix_;
  std::map<FileOp, int> calls_;
  size_t write_limit_ = kNoLimit;
  std::map<int, std::string> paths_;  // open descriptors
  std::map<int, bool> directories_;   // open descriptors of directories
};

}  // namespace test
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_TESTING_FAULTENV_H_
