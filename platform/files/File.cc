#include "platform/files/File.h"

#include <fcntl.h>

#include <cerrno>

#include "platform/files/Paths.h"

namespace tarnalert {

namespace {

constexpr mode_t kNewFileMode = 0600;

#define FILE_LOCATION FXCodeLocation("File", __func__, __LINE__)

// The error of a failed call on `name`, errno being `error`.
CYqError Failed(const FXCodeLocation& location, const char* what, const std::string& name,
                int error) {
  return FXErrorUtil::ErrorErrNo(location, error, "Cannot %s %s: %s", what, name.c_str(),
                                 FXErrorUtil::ErrorText(error).c_str());
}

}  // namespace

CYqError WriteAll(Env* env, int fd, const std::string& name, const void* data, size_t size) {
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t written = env->WriteFile(fd, next, size);
    if (written < 0) return Failed(FILE_LOCATION, "write to", name, errno);
    if (written == 0) return Failed(FILE_LOCATION, "write to", name, EIO);
    next += written;
    size -= static_cast<size_t>(written);
  }
  return CYqError::Success();
}

// --- WritableFile ------------------------------------------------------------

WritableFile::~WritableFile() {
  if (is_open()) (void)env_->CloseFile(fd_);  // the owner did not ask; see Close
}

CYqError WritableFile::Open(Env* env, const std::string& path, int flags, mode_t mode) {
  env_ = env;
  path_ = path;
  fd_ = env->OpenFile(path, flags, mode);
  if (fd_ < 0) return Failed(FILE_LOCATION, "open", path, errno);
  return CYqError::Success();
}

CYqError WritableFile::OpenIn(const Directory& dir, const std::string& name, int flags,
                              mode_t mode) {
  env_ = dir.env();
  path_ = dir.PathOf(name);
  fd_ = env_->OpenFileAt(dir.fd(), name, flags, mode);
  if (fd_ < 0) return Failed(FILE_LOCATION, "open", path_, errno);
  return CYqError::Success();
}

CYqError WritableFile::Append(const void* data, size_t size) {
  if (!is_open()) return Failed(FILE_LOCATION, "write to", path_, EBADF);
  return WriteAll(env_, fd_, path_, data, size);
}

CYqError WritableFile::Sync() {
  if (!is_open()) return Failed(FILE_LOCATION, "flush", path_, EBADF);
  if (env_->SyncFile(fd_) != 0) return Failed(FILE_LOCATION, "flush", path_, errno);
  return CYqError::Success();
}

CYqError WritableFile::Close() {
  if (!is_open()) return Failed(FILE_LOCATION, "close", path_, EBADF);
  const int fd = fd_;
  fd_ = -1;  // gone whatever close says: retrying could close another file
  if (env_->CloseFile(fd) != 0) return Failed(FILE_LOCATION, "close", path_, errno);
  return CYqError::Success();
}

// --- Whole files ---------------------------------------------------------------

CYqError ReadToEnd(Env* env, int fd, const std::string& path, size_t maxBytes, std::string* out) {
  char chunk[8192];
  CYqError error;
  for (;;) {
    const ssize_t count = env->ReadFile(fd, chunk, sizeof chunk);
    if (count < 0) error = Failed(FILE_LOCATION, "read", path, errno);
    if (count <= 0) break;
    out->append(chunk, static_cast<size_t>(count));
    if (out->size() > maxBytes) {  // the file grew while it was read
      error = FXErrorUtil::ErrorErrNo(FILE_LOCATION, EFBIG, "Cannot read %s: larger than %zu bytes",
                                      path.c_str(), maxBytes);
      break;
    }
  }
  // The chunk may have held a secret.
  volatile char* wipe = chunk;
  for (size_t i = 0; i < sizeof chunk; ++i) wipe[i] = '\0';
  return error;
}

CYqError ReadFileToString(const Directory& dir, const std::string& name, size_t maxBytes,
                          std::string* out) {
  out->clear();
  Env* env = dir.env();
  const std::string path = dir.PathOf(name);
  const int fd = env->OpenFileAt(dir.fd(), name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK, 0);
  if (fd < 0) return Failed(FILE_LOCATION, "open", path, errno);
  CYqError error;
  FileInfo info;
  if (env->StatFile(fd, &info) != 0) {
    error = Failed(FILE_LOCATION, "read", path, errno);
  } else if (!info.isRegular) {
    error = FXErrorUtil::ErrorErrNo(FILE_LOCATION, EINVAL, "Cannot read %s: not a regular file",
                                    path.c_str());
  } else if (info.size > maxBytes) {
    error = FXErrorUtil::ErrorErrNo(FILE_LOCATION, EFBIG, "Cannot read %s: larger than %zu bytes",
                                    path.c_str(), maxBytes);
  } else {
    error = ReadToEnd(env, fd, path, maxBytes, out);
  }
  (void)env->CloseFile(fd);  // nothing was written: close has nothing to report
  if (error.IsError()) out->clear();
  return error;
}

CYqError WriteFileDurably(const Directory& dir, const std::string& name, const std::string& bytes) {
  Env* env = dir.env();
  const std::string temporary = "." + name + ".tmp";
  WritableFile file;
  CYqError error =
      file.OpenIn(dir, temporary, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, kNewFileMode);
  if (error.IsError()) return error;
  error = file.Append(bytes);
  if (!error.IsError()) error = file.Sync();
  // Close in any case; its error counts only when nothing failed before.
  CYqError closed = file.Close();
  if (!error.IsError()) error = std::move(closed);
  if (!error.IsError() && env->RenameFileAt(dir.fd(), temporary, dir.fd(), name) != 0) {
    const int number = errno;
    error = FXErrorUtil::ErrorErrNo(FILE_LOCATION, number, "Cannot rename %s to %s: %s",
                                    dir.PathOf(temporary).c_str(), dir.PathOf(name).c_str(),
                                    FXErrorUtil::ErrorText(number).c_str());
  }
  if (error.IsError()) {
    (void)env->RemoveFileAt(dir.fd(),
                            temporary);  // best effort: the error above is the one to report
    return error;
  }
  if (env->SyncFile(dir.fd()) != 0) {
    const int number = errno;
    return FXErrorUtil::ErrorErrNo(
        FILE_LOCATION, number, "Wrote %s but cannot flush directory %s: %s",
        dir.PathOf(name).c_str(), dir.path().c_str(), FXErrorUtil::ErrorText(number).c_str());
  }
  return CYqError::Success();
}

CYqError ReadFileToString(Env* env, const std::string& path, size_t maxBytes, std::string* out) {
  out->clear();
  Directory dir;
  CYqError error = Directory::Open(env, DirectoryOf(path), false, &dir);
  if (error.IsError()) return error;
  return ReadFileToString(dir, path.substr(path.find_last_of('/') + 1), maxBytes, out);
}

CYqError WriteFileDurably(Env* env, const std::string& dir, const std::string& name,
                          const std::string& bytes) {
  Directory opened;
  CYqError error = Directory::Open(env, dir, false, &opened);
  if (error.IsError()) return error;
  return WriteFileDurably(opened, name, bytes);
}

#undef FILE_LOCATION

}  // namespace tarnalert
