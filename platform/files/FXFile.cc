#include "platform/files/FXFile.h"

#include <fcntl.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/files/Paths.h"
#include "tarnalert/platform/env/Env.h"

namespace {

constexpr mode_t kNewFileMode = 0600;

FXCodeLocation Here(const char* function, int line) {
  return FXCodeLocation("FXFile", function, line);
}

#define FXFILE_LOCATION Here(__PRETTY_FUNCTION__, __LINE__)

// Open flags for an access mask; no access asked for opens for reading.
int AccessFlags(unsigned long desiredAccess) {
  bool read = desiredAccess & (FXFile::kGenericRead | FXFile::kGenericAll);
  bool write = desiredAccess & (FXFile::kGenericWrite | FXFile::kGenericAll);
  if (read && write) return O_RDWR;
  if (write) return O_WRONLY;
  return O_RDONLY;
}

// Open flags for a creation disposition, or -1 when it is unknown.
int DispositionFlags(unsigned long creationDisposition) {
  switch (creationDisposition) {
    case FXFile::kCreateNew:
      return O_CREAT | O_EXCL;
    case FXFile::kCreateAlways:
      return O_CREAT | O_TRUNC;
    case FXFile::kOpenExisting:
      return 0;
    case FXFile::kOpenAlways:
      return O_CREAT;
    case FXFile::kTruncateExisting:
      return O_TRUNC;
    default:
      return -1;
  }
}

const char* OrEmpty(const char* text) { return text ? text : ""; }

// Where a call's file is: a path, or a name inside an open directory.
class Place {
 public:
  explicit Place(const char* path) : name_(OrEmpty(path)) {}
  Place(const tarnalert::Directory& directory, const char* name)
      : directory_(&directory), name_(OrEmpty(name)) {}

  tarnalert::Env* env() const { return directory_ ? directory_->env() : tarnalert::Env::Current(); }
  // The path for messages.
  std::string shown() const { return directory_ ? directory_->PathOf(name_) : name_; }
  int Open(int flags, mode_t mode) const {
    return directory_ ? env()->OpenFileAt(directory_->fd(), name_, flags, mode)
                      : env()->OpenFile(name_, flags, mode);
  }
  int Remove() const {
    return directory_ ? env()->RemoveFileAt(directory_->fd(), name_) : env()->RemoveFile(name_);
  }

 private:
  const tarnalert::Directory* directory_ = nullptr;
  std::string name_;
};

CYqError Remove(const FXCodeLocation& location, const Place& place) {
  if (place.Remove() != 0) {
    int error = errno;
    return FXErrorUtil::ErrorErrNo(location, error, "Cannot remove %s: %s", place.shown().c_str(),
                                   FXErrorUtil::ErrorText(error).c_str());
  }
  return CYqError::Success();
}

CYqError Create(const FXCodeLocation& location, auto_handle& handle, const Place& place,
                unsigned long desiredAccess, unsigned long creationDisposition) {
  handle.reset();
  int disposition = DispositionFlags(creationDisposition);
  if (disposition < 0) {
    return FXErrorUtil::ErrorErrNo(
        location, EINVAL, "Cannot open %s: unknown creation disposition %lu: %s",
        place.shown().c_str(), creationDisposition, FXErrorUtil::ErrorText(EINVAL).c_str());
  }
  int flags = AccessFlags(desiredAccess) | disposition | O_CLOEXEC | O_NOFOLLOW;
  int fd = place.Open(flags, kNewFileMode);
  if (fd < 0) {
    int error = errno;
    return FXErrorUtil::ErrorErrNo(location, error, "Cannot open %s: %s", place.shown().c_str(),
                                   FXErrorUtil::ErrorText(error).c_str());
  }
  handle.reset(fd);
  return CYqError::Success();
}

CYqError Lock(const FXCodeLocation& location, auto_handle& handle, const Place& place) {
  handle.reset();
  int fd = place.Open(O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kNewFileMode);
  if (fd < 0) {
    int error = errno;
    return FXErrorUtil::ErrorErrNo(location, error, "Cannot open lock file %s: %s",
                                   place.shown().c_str(), FXErrorUtil::ErrorText(error).c_str());
  }
  handle.reset(fd);
  if (place.env()->LockFile(fd, true) != 0) {
    int error = errno;
    handle.reset();
    return FXErrorUtil::ErrorErrNo(location, error, "Cannot lock %s: %s", place.shown().c_str(),
                                   FXErrorUtil::ErrorText(error).c_str());
  }
  return CYqError::Success();
}

}  // namespace

CYqError FXFile::RemoveFile(const char* path) { return Remove(FXFILE_LOCATION, Place(path)); }

CYqError FXFile::KTCreateFile(auto_handle& handle, const char* path, unsigned long desiredAccess,
                              unsigned long /*shareMode*/, void* /*securityAttributes*/,
                              unsigned long creationDisposition,
                              unsigned long /*flagsAndAttributes*/, void* /*templateFile*/) {
  return Create(FXFILE_LOCATION, handle, Place(path), desiredAccess, creationDisposition);
}

CYqError FXFile::KTWriteFile(const auto_handle& handle, const void* buffer,
                             unsigned long bytesToWrite, unsigned long* bytesWritten,
                             void* overlapped) {
  if (bytesWritten != nullptr) *bytesWritten = 0;
  if (overlapped != nullptr) {
    return FXErrorUtil::ErrorErrNo(FXFILE_LOCATION, EINVAL,
                                   "Cannot write to descriptor %d: overlapped writes are not "
                                   "supported: %s",
                                   handle.get(), FXErrorUtil::ErrorText(EINVAL).c_str());
  }
  if (bytesToWrite == 0) return CYqError::Success();
  ssize_t written = tarnalert::Env::Current()->WriteFile(handle.get(), buffer, bytesToWrite);
  if (written < 0) {
    int error = errno;
    return FXErrorUtil::ErrorErrNo(FXFILE_LOCATION, error,
                                   "Cannot write %lu bytes to descriptor %d: %s", bytesToWrite,
                                   handle.get(), FXErrorUtil::ErrorText(error).c_str());
  }
  if (written == 0) {
    return FXErrorUtil::ErrorErrNo(FXFILE_LOCATION, EIO,
                                   "Cannot write %lu bytes to descriptor %d: nothing was "
                                   "written: %s",
                                   bytesToWrite, handle.get(), FXErrorUtil::ErrorText(EIO).c_str());
  }
  if (bytesWritten != nullptr) *bytesWritten = static_cast<unsigned long>(written);
  return CYqError::Success();
}

CYqError FXFile::KTFlushFileBuffers(const auto_handle& handle) {
  if (tarnalert::Env::Current()->SyncFile(handle.get()) != 0) {
    int error = errno;
    return FXErrorUtil::ErrorErrNo(FXFILE_LOCATION, error, "Cannot flush descriptor %d: %s",
                                   handle.get(), FXErrorUtil::ErrorText(error).c_str());
  }
  return CYqError::Success();
}

CYqError FXFile::KTMoveFileEx(const char* existingPath, const char* newPath, unsigned long flags,
                              bool* renamed) {
  if (renamed != nullptr) *renamed = false;
  tarnalert::Env* env = tarnalert::Env::Current();
  const std::string from = OrEmpty(existingPath);
  const std::string to = OrEmpty(newPath);
  if (!(flags & kMoveReplaceExisting)) {
    // O_PATH looks at the name itself (a link included) without opening it.
    int fd = env->OpenFile(to, O_PATH | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd >= 0) {
      env->CloseFile(fd);
      return FXErrorUtil::ErrorErrNo(FXFILE_LOCATION, EEXIST, "Cannot rename %s to %s: %s",
                                     from.c_str(), to.c_str(),
                                     FXErrorUtil::ErrorText(EEXIST).c_str());
    }
  }
  if (env->RenameFile(from, to) != 0) {
    int error = errno;
    return FXErrorUtil::ErrorErrNo(FXFILE_LOCATION, error, "Cannot rename %s to %s: %s",
                                   from.c_str(), to.c_str(), FXErrorUtil::ErrorText(error).c_str());
  }
  if (renamed != nullptr) *renamed = true;
  // The new name must survive a power loss, and so must the old name's removal.
  std::vector<std::string> directories = {tarnalert::DirectoryOf(to)};
  std::string fromDirectory = tarnalert::DirectoryOf(from);
  if (fromDirectory != directories.front()) directories.push_back(fromDirectory);
  for (const std::string& directory : directories) {
    if (env->SyncDirectory(directory) != 0) {
      int error = errno;
      return FXErrorUtil::ErrorErrNo(
          FXFILE_LOCATION, error, "Renamed %s to %s but cannot flush directory %s: %s",
          from.c_str(), to.c_str(), directory.c_str(), FXErrorUtil::ErrorText(error).c_str());
    }
  }
  return CYqError::Success();
}

CYqError FXFile::KTLockFile(auto_handle& handle, const char* path) {
  return Lock(FXFILE_LOCATION, handle, Place(path));
}

CYqError FXFile::KTUnlockFile(const auto_handle& handle) {
  if (tarnalert::Env::Current()->LockFile(handle.get(), false) != 0) {
    int error = errno;
    return FXErrorUtil::ErrorErrNo(FXFILE_LOCATION, error, "Cannot unlock descriptor %d: %s",
                                   handle.get(), FXErrorUtil::ErrorText(error).c_str());
  }
  return CYqError::Success();
}

CYqError FXFile::RemoveFile(const tarnalert::Directory& directory, const char* name) {
  return Remove(FXFILE_LOCATION, Place(directory, name));
}

CYqError FXFile::KTCreateFile(auto_handle& handle, const tarnalert::Directory& directory,
                              const char* name, unsigned long desiredAccess,
                              unsigned long /*shareMode*/, void* /*securityAttributes*/,
                              unsigned long creationDisposition,
                              unsigned long /*flagsAndAttributes*/, void* /*templateFile*/) {
  return Create(FXFILE_LOCATION, handle, Place(directory, name), desiredAccess,
                creationDisposition);
}

CYqError FXFile::KTMoveFileEx(const tarnalert::Directory& directory, const char* existingName,
                              const char* newName, unsigned long flags, bool* renamed) {
  if (renamed != nullptr) *renamed = false;
  tarnalert::Env* env = directory.env();
  const std::string fromName = OrEmpty(existingName);
  const std::string toName = OrEmpty(newName);
  const std::string from = directory.PathOf(fromName);
  const std::string to = directory.PathOf(toName);
  if (!(flags & kMoveReplaceExisting)) {
    int fd = env->OpenFileAt(directory.fd(), toName, O_PATH | O_NOFOLLOW | O_CLOEXEC, 0);
    if (fd >= 0) {
      env->CloseFile(fd);
      return FXErrorUtil::ErrorErrNo(FXFILE_LOCATION, EEXIST, "Cannot rename %s to %s: %s",
                                     from.c_str(), to.c_str(),
                                     FXErrorUtil::ErrorText(EEXIST).c_str());
    }
  }
  if (env->RenameFileAt(directory.fd(), fromName, directory.fd(), toName) != 0) {
    int error = errno;
    return FXErrorUtil::ErrorErrNo(FXFILE_LOCATION, error, "Cannot rename %s to %s: %s",
                                   from.c_str(), to.c_str(), FXErrorUtil::ErrorText(error).c_str());
  }
  if (renamed != nullptr) *renamed = true;
  if (env->SyncFile(directory.fd()) != 0) {
    int error = errno;
    return FXErrorUtil::ErrorErrNo(
        FXFILE_LOCATION, error, "Renamed %s to %s but cannot flush directory %s: %s", from.c_str(),
        to.c_str(), directory.path().c_str(), FXErrorUtil::ErrorText(error).c_str());
  }
  return CYqError::Success();
}

CYqError FXFile::KTLockFile(auto_handle& handle, const tarnalert::Directory& directory,
                            const char* name) {
  return Lock(FXFILE_LOCATION, handle, Place(directory, name));
}
