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

}  // namespace

CYqError FXFile::RemoveFile(const char* path) {
  if (tarnalert::Env::Current()->RemoveFile(OrEmpty(path)) != 0) {
    int error = errno;
    return FXErrorUtil::ErrorErrNo(FXFILE_LOCATION, error, "Cannot remove %s: %s", OrEmpty(path),
                                   FXErrorUtil::ErrorText(error).c_str());
  }
  return CYqError::Success();
}

CYqError FXFile::KTCreateFile(auto_handle& handle, const char* path, unsigned long desiredAccess,
                              unsigned long /*shareMode*/, void* /*securityAttributes*/,
                              unsigned long creationDisposition,
                              unsigned long /*flagsAndAttributes*/, void* /*templateFile*/) {
  handle.reset();
  int disposition = DispositionFlags(creationDisposition);
  if (disposition < 0) {
    return FXErrorUtil::ErrorErrNo(
        FXFILE_LOCATION, EINVAL, "Cannot open %s: unknown creation disposition %lu: %s",
        OrEmpty(path), creationDisposition, FXErrorUtil::ErrorText(EINVAL).c_str());
  }
  int flags = AccessFlags(desiredAccess) | disposition | O_CLOEXEC | O_NOFOLLOW;
  int fd = tarnalert::Env::Current()->OpenFile(OrEmpty(path), flags, kNewFileMode);
  if (fd < 0) {
    int error = errno;
    return FXErrorUtil::ErrorErrNo(FXFILE_LOCATION, error, "Cannot open %s: %s", OrEmpty(path),
                                   FXErrorUtil::ErrorText(error).c_str());
  }
  handle.set(fd);
  return CYqError::Success();
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
  handle.reset();
  tarnalert::Env* env = tarnalert::Env::Current();
  int fd = env->OpenFile(OrEmpty(path), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kNewFileMode);
  if (fd < 0) {
    int error = errno;
    return FXErrorUtil::ErrorErrNo(FXFILE_LOCATION, error, "Cannot open lock file %s: %s",
                                   OrEmpty(path), FXErrorUtil::ErrorText(error).c_str());
  }
  handle.set(fd);
  if (env->LockFile(fd, true) != 0) {
    int error = errno;
    handle.reset();
    return FXErrorUtil::ErrorErrNo(FXFILE_LOCATION, error, "Cannot lock %s: %s", OrEmpty(path),
                                   FXErrorUtil::ErrorText(error).c_str());
  }
  return CYqError::Success();
}

CYqError FXFile::KTUnlockFile(const auto_handle& handle) {
  if (tarnalert::Env::Current()->LockFile(handle.get(), false) != 0) {
    int error = errno;
    return FXErrorUtil::ErrorErrNo(FXFILE_LOCATION, error, "Cannot unlock descriptor %d: %s",
                                   handle.get(), FXErrorUtil::ErrorText(error).c_str());
  }
  return CYqError::Success();
}
