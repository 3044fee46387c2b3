#include "platform/testing/CrashEnv.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/files/Paths.h"
#include "platform/testing/TestUtil.h"

namespace tarnalert {
namespace test {

namespace {

bool Exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

void WriteWhole(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

}  // namespace

void CrashEnv::CrashAfter(int operations) {
  std::lock_guard<std::mutex> lock(mutex_);
  left_ = operations;
  stopped_ = false;
}

bool CrashEnv::stopped() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopped_;
}

bool CrashEnv::Runs() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (left_ == 0) {
    stopped_ = true;
    errno = EIO;
    return false;
  }
  if (left_ > 0) --left_;
  return true;
}

std::optional<std::string> CrashEnv::DurableContent(const std::string& path) {
  if (!Exists(path)) return std::nullopt;
  std::string content = ReadWhole(path);
  std::lock_guard<std::mutex> lock(mutex_);
  auto synced = synced_.find(path);
  if (synced != synced_.end() && content.size() > synced->second) content.resize(synced->second);
  return content;
}

void CrashEnv::Crash() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& [path, length] : synced_) {
    struct stat info;
    if (::stat(path.c_str(), &info) == 0 && static_cast<uint64_t>(info.st_size) > length) {
      (void)::truncate(path.c_str(), static_cast<off_t>(length));
    }
  }
  for (auto change = pending_.rbegin(); change != pending_.rend(); ++change) {
    switch (change->kind) {
      case NameChange::kCreateFile:
        ::unlink(change->path.c_str());
        break;
      case NameChange::kCreateDirectory: {
        std::error_code ignored;
        std::filesystem::remove_all(change->path, ignored);
        break;
      }
      case NameChange::kRename:
        if (Exists(change->path)) ::rename(change->path.c_str(), change->from.c_str());
        if (change->before) WriteWhole(change->path, *change->before);
        break;
      case NameChange::kRemove:
        if (change->before) WriteWhole(change->path, *change->before);
        break;
    }
  }
  pending_.clear();
  synced_.clear();
  left_ = -1;
  stopped_ = false;
}

int CrashEnv::OpenFile(const std::string& path, int flags, mode_t mode) {
  if (!Runs()) return -1;
  const bool existed = Exists(path);
  const int fd = TestEnv::OpenFile(path, flags, mode);
  if (fd < 0) return fd;
  std::lock_guard<std::mutex> lock(mutex_);
  paths_[fd] = path;
  if ((flags & O_ACCMODE) != O_RDONLY && !(flags & O_PATH) && !synced_.count(path)) {
    struct stat info;
    const bool keep = existed && !(flags & O_TRUNC) && ::fstat(fd, &info) == 0;
    synced_[path] = keep ? static_cast<uint64_t>(info.st_size) : 0;
  }
  if (!existed) pending_.push_back({NameChange::kCreateFile, DirectoryOf(path), path, "", {}});
  return fd;
}

ssize_t CrashEnv::ReadFile(int fd, void* buffer, size_t size) {
  return Runs() ? TestEnv::ReadFile(fd, buffer, size) : -1;
}

ssize_t CrashEnv::WriteFile(int fd, const void* data, size_t size) {
  return Runs() ? TestEnv::WriteFile(fd, data, size) : -1;
}

int CrashEnv::SyncFile(int fd) {
  std::string directory;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = directories_.find(fd);
    if (found != directories_.end() && found->second) directory = paths_[fd];
  }
  if (!directory.empty()) return SyncDirectory(directory);
  if (!Runs()) return -1;
  const int result = TestEnv::SyncFile(fd);
  struct stat info;
  if (result == 0 && ::fstat(fd, &info) == 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    synced_[paths_[fd]] = static_cast<uint64_t>(info.st_size);
  }
  return result;
}

int CrashEnv::CloseFile(int fd) {
  const bool runs = Runs();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    paths_.erase(fd);
    directories_.erase(fd);
  }
  const int result = TestEnv::CloseFile(fd);  // closed even on a stopped machine: no leak
  if (runs) return result;
  errno = EIO;
  return -1;
}

int CrashEnv::RenameFile(const std::string& from, const std::string& to) {
  if (!Runs()) return -1;
  std::optional<std::string> before = DurableContent(to);
  const int result = TestEnv::RenameFile(from, to);
  if (result != 0) return result;
  std::lock_guard<std::mutex> lock(mutex_);
  auto moved = synced_.find(from);
  synced_.erase(to);
  if (moved != synced_.end()) {
    synced_[to] = moved->second;
    synced_.erase(moved);
  }
  pending_.push_back({NameChange::kRename, DirectoryOf(to), to, from, std::move(before)});
  return 0;
}

int CrashEnv::RemoveFile(const std::string& path) {
  if (!Runs()) return -1;
  std::optional<std::string> before = DurableContent(path);
  const int result = TestEnv::RemoveFile(path);
  if (result != 0) return result;
  std::lock_guard<std::mutex> lock(mutex_);
  synced_.erase(path);
  pending_.push_back({NameChange::kRemove, DirectoryOf(path), path, "", std::move(before)});
  return 0;
}

int CrashEnv::CreateDirectory(const std::string& path, mode_t mode) {
  if (!Runs()) return -1;
  const int result = TestEnv::CreateDirectory(path, mode);
  if (result != 0) return result;
  std::lock_guard<std::mutex> lock(mutex_);
  pending_.push_back({NameChange::kCreateDirectory, DirectoryOf(path), path, "", {}});
  return 0;
}

int CrashEnv::StatPath(const std::string& path, FileInfo* info) {
  return Runs() ? TestEnv::StatPath(path, info) : -1;
}

int CrashEnv::StatFile(int fd, FileInfo* info) { return Runs() ? TestEnv::StatFile(fd, info) : -1; }

int CrashEnv::SyncDirectory(const std::string& directory) {
  if (!Runs()) return -1;
  const int result = TestEnv::SyncDirectory(directory);
  if (result != 0) return result;
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<NameChange> still;
  for (NameChange& change : pending_) {
    if (change.directory != directory) still.push_back(std::move(change));
  }
  pending_ = std::move(still);
  return 0;
}

int CrashEnv::LockFile(int fd, bool lock) { return Runs() ? TestEnv::LockFile(fd, lock) : -1; }

int CrashEnv::TryLockFile(int fd) { return Runs() ? TestEnv::TryLockFile(fd) : -1; }

std::string CrashEnv::PathIn(int directory, const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::string& path = paths_[directory];
  return path == "/" ? "/" + name : path + "/" + name;
}

int CrashEnv::OpenDirectory(const std::string& path) {
  if (!Runs()) return -1;
  const int fd = TestEnv::OpenDirectory(path);
  if (fd < 0) return fd;
  std::lock_guard<std::mutex> lock(mutex_);
  paths_[fd] = path;
  directories_[fd] = true;
  return fd;
}

int CrashEnv::OpenDirectoryAt(int directory, const std::string& name) {
  return OpenDirectory(PathIn(directory, name));
}

int CrashEnv::OpenFileAt(int directory, const std::string& name, int flags, mode_t mode) {
  return OpenFile(PathIn(directory, name), flags, mode);
}

int CrashEnv::RenameFileAt(int fromDirectory, const std::string& from, int toDirectory,
                           const std::string& to) {
  return RenameFile(PathIn(fromDirectory, from), PathIn(toDirectory, to));
}

int CrashEnv::RemoveFileAt(int directory, const std::string& name) {
  return RemoveFile(PathIn(directory, name));
}

int CrashEnv::CreateDirectoryAt(int directory, const std::string& name, mode_t mode) {
  return CreateDirectory(PathIn(directory, name), mode);
}

int CrashEnv::StatFileAt(int directory, const std::string& name, FileInfo* info) {
  return Runs() ? TestEnv::StatFileAt(directory, name, info) : -1;
}

int CrashEnv::ListDirectory(int directory, std::vector<std::string>* names) {
  return Runs() ? TestEnv::ListDirectory(directory, names) : -1;
}

int CrashEnv::ReadLinkAt(int directory, const std::string& name, std::string* target) {
  return Runs() ? TestEnv::ReadLinkAt(directory, name, target) : -1;
}

}  // namespace test
}  // namespace tarnalert
