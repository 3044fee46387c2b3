#include "platform/testing/FaultEnv.h"

#include <cerrno>

namespace tarnalert {
namespace test {

void FaultEnv::Fail(FileOp op, int nth, int error, bool sticky, const std::string& pathSuffix) {
  std::lock_guard<std::mutex> lock(mutex_);
  op_ = op, nth_ = nth, error_ = error, sticky_ = sticky, suffix_ = pathSuffix;
  calls_.clear();
}

void FaultEnv::Clear() { Fail(FileOp::kAny, 0, 0); }

void FaultEnv::LimitWrites(size_t bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  write_limit_ = bytes;
}

int FaultEnv::Calls(FileOp op) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = calls_.find(op);
  return it == calls_.end() ? 0 : it->second;
}

bool FaultEnv::Fails(FileOp op, const std::string& path, const std::string& otherPath) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto matches = [this](const std::string& name) {
    return name.size() >= suffix_.size() &&
           name.compare(name.size() - suffix_.size(), suffix_.size(), suffix_) == 0;
  };
  if (!matches(path) && !(op == FileOp::kRename && matches(otherPath))) return false;
  ++calls_[FileOp::kAny];
  ++calls_[op];
  const int count = calls_[op_];
  if (op_ != FileOp::kAny && op_ != op) return false;
  if (nth_ == 0 || count < nth_ || (count > nth_ && !sticky_)) return false;
  errno = error_;
  return true;
}

std::string FaultEnv::PathOf(int fd) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = paths_.find(fd);
  return it == paths_.end() ? std::string() : it->second;
}

int FaultEnv::Opened(int fd, const std::string& path, bool directory) {
  if (fd >= 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    paths_[fd] = path;
    directories_[fd] = directory;
  }
  return fd;
}

int FaultEnv::OpenFile(const std::string& path, int flags, mode_t mode) {
  if (Fails(FileOp::kOpen, path)) return -1;
  return Opened(TestEnv::OpenFile(path, flags, mode), path, false);
}

ssize_t FaultEnv::ReadFile(int fd, void* buffer, size_t size) {
  if (Fails(FileOp::kRead, PathOf(fd))) return -1;
  return TestEnv::ReadFile(fd, buffer, size);
}

ssize_t FaultEnv::WriteFile(int fd, const void* data, size_t size) {
  if (Fails(FileOp::kWrite, PathOf(fd))) return -1;
  size_t limit;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    limit = write_limit_;
  }
  if (limit == 0) return 0;
  return TestEnv::WriteFile(fd, data, size > limit ? limit : size);
}

int FaultEnv::SyncFile(int fd) {
  bool directory;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = directories_.find(fd);
    directory = found != directories_.end() && found->second;
  }
  const FileOp op = directory ? FileOp::kSyncDirectory : FileOp::kSync;
  return Fails(op, PathOf(fd)) ? -1 : TestEnv::SyncFile(fd);
}

int FaultEnv::CloseFile(int fd) {
  const bool fails = Fails(FileOp::kClose, PathOf(fd));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    paths_.erase(fd);
    directories_.erase(fd);
  }
  // A failed close still closes, as close(2) does.
  const int result = TestEnv::CloseFile(fd);
  if (!fails) return result;
  errno = error_;
  return -1;
}

int FaultEnv::RenameFile(const std::string& from, const std::string& to) {
  return Fails(FileOp::kRename, from, to) ? -1 : TestEnv::RenameFile(from, to);
}

int FaultEnv::RemoveFile(const std::string& path) {
  return Fails(FileOp::kRemove, path) ? -1 : TestEnv::RemoveFile(path);
}

int FaultEnv::CreateDirectory(const std::string& path, mode_t mode) {
  return Fails(FileOp::kCreateDirectory, path) ? -1 : TestEnv::CreateDirectory(path, mode);
}

int FaultEnv::StatPath(const std::string& path, FileInfo* info) {
  return Fails(FileOp::kStat, path) ? -1 : TestEnv::StatPath(path, info);
}

int FaultEnv::StatFile(int fd, FileInfo* info) {
  return Fails(FileOp::kStat, PathOf(fd)) ? -1 : TestEnv::StatFile(fd, info);
}

int FaultEnv::SyncDirectory(const std::string& directory) {
  return Fails(FileOp::kSyncDirectory, directory) ? -1 : TestEnv::SyncDirectory(directory);
}

int FaultEnv::LockFile(int fd, bool lock) {
  return Fails(FileOp::kLock, PathOf(fd)) ? -1 : TestEnv::LockFile(fd, lock);
}

int FaultEnv::TryLockFile(int fd) {
  return Fails(FileOp::kLock, PathOf(fd)) ? -1 : TestEnv::TryLockFile(fd);
}

int FaultEnv::OpenDirectory(const std::string& path) {
  if (Fails(FileOp::kOpenDirectory, path)) return -1;
  return Opened(TestEnv::OpenDirectory(path), path, true);
}

int FaultEnv::OpenDirectoryAt(int directory, const std::string& name) {
  const std::string path = PathIn(directory, name);
  if (Fails(FileOp::kOpenDirectory, path)) return -1;
  return Opened(TestEnv::OpenDirectoryAt(directory, name), path, true);
}

int FaultEnv::OpenFileAt(int directory, const std::string& name, int flags, mode_t mode) {
  const std::string path = PathIn(directory, name);
  if (Fails(FileOp::kOpen, path)) return -1;
  return Opened(TestEnv::OpenFileAt(directory, name, flags, mode), path, false);
}

int FaultEnv::RenameFileAt(int fromDirectory, const std::string& from, int toDirectory,
                           const std::string& to) {
  if (Fails(FileOp::kRename, PathIn(fromDirectory, from), PathIn(toDirectory, to))) return -1;
  return TestEnv::RenameFileAt(fromDirectory, from, toDirectory, to);
}

int FaultEnv::RemoveFileAt(int directory, const std::string& name) {
  return Fails(FileOp::kRemove, PathIn(directory, name)) ? -1
                                                         : TestEnv::RemoveFileAt(directory, name);
}

int FaultEnv::CreateDirectoryAt(int directory, const std::string& name, mode_t mode) {
  if (Fails(FileOp::kCreateDirectory, PathIn(directory, name))) return -1;
  return TestEnv::CreateDirectoryAt(directory, name, mode);
}

int FaultEnv::StatFileAt(int directory, const std::string& name, FileInfo* info) {
  if (Fails(FileOp::kStat, PathIn(directory, name))) return -1;
  return TestEnv::StatFileAt(directory, name, info);
}

int FaultEnv::ListDirectory(int directory, std::vector<std::string>* names) {
  if (Fails(FileOp::kList, PathOf(directory))) return -1;
  return TestEnv::ListDirectory(directory, names);
}

int FaultEnv::ReadLinkAt(int directory, const std::string& name, std::string* target) {
  if (Fails(FileOp::kReadLink, PathIn(directory, name))) return -1;
  return TestEnv::ReadLinkAt(directory, name, target);
}

}  // namespace test
}  // namespace tarnalert
