// Files on top of the Env's primitives: a file written front to back, and
// two whole-file helpers. Every failure is a CYqError (code: the negated
// errno) whose message names the file and carries the system's text.
//
// A WritableFile belongs to one thread at a time; the helpers hold no state.
#ifndef TARNALERT_PLATFORM_FILES_FILE_H_
#define TARNALERT_PLATFORM_FILES_FILE_H_

#include <cstddef>
#include <string>

#include "platform/files/Directory.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {

// Writes all of `size` bytes to `fd` through `env`, looping over short
// writes (a signal, a nearly full disk). `name` names the file in the error.
// A write that makes no progress fails with EIO, so the loop always ends.
CYqError WriteAll(Env* env, int fd, const std::string& name, const void* data, size_t size);

// A file opened for writing. The destructor closes a file still open and
// ignores the result: call Close to learn whether the data reached the file.
class WritableFile {
 public:
  WritableFile() = default;
  ~WritableFile();
  WritableFile(const WritableFile&) = delete;
  WritableFile& operator=(const WritableFile&) = delete;

  // Opens `path` through `env` with `flags` (O_WRONLY and O_CREAT etc.; the
  // Env adds O_CLOEXEC) and `mode` for a new file. REQUIRES: not open.
  CYqError Open(Env* env, const std::string& path, int flags, mode_t mode);
  // The same for `name` inside the open directory `dir`.
  CYqError OpenIn(const Directory& dir, const std::string& name, int flags, mode_t mode);
  bool is_open() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

  // Appends all of `size` bytes (see WriteAll).
  CYqError Append(const void* data, size_t size);
  CYqError Append(const std::string& bytes) { return Append(bytes.data(), bytes.size()); }
  // Makes what was appended durable (fsync).
  CYqError Sync();
  // Closes the file and reports close's own error (a deferred write error,
  // for example). The file is closed afterwards in any case.
  CYqError Close();

 private:
  Env* env_ = nullptr;
  std::string path_;
  int fd_ = -1;
};

// Appends what is left of the open file `fd` to `out`, failing with EFBIG
// once `out` holds more than `maxBytes` bytes (a file that grows while it is
// read). `path` names the file in errors. What was read stays in `out` on
// failure, for the caller to clear or wipe; the read buffer is wiped.
CYqError ReadToEnd(Env* env, int fd, const std::string& path, size_t maxBytes, std::string* out);

// Reads the whole regular file `name` in the open directory `dir` into `out`
// (replacing its content). The file is opened without following a symbolic
// link and without waiting (a FIFO in its place cannot block the reader).
// Fails, leaving `out` empty, when the file cannot be opened or read, is not
// a regular file (EINVAL), or holds more than `maxBytes` bytes (EFBIG).
CYqError ReadFileToString(const Directory& dir, const std::string& name, size_t maxBytes,
                          std::string* out);
// The same for the file `path`, in its directory opened as a Directory (not
// created; an untrusted directory fails as Directory::Open says).
CYqError ReadFileToString(Env* env, const std::string& path, size_t maxBytes, std::string* out);

// Puts a new file `name` holding `bytes` into the open directory `dir` so
// that a reader never sees part of it and a power loss never takes it back
// once this returns success: it writes ".<name>.tmp" (created exclusively,
// mode 0600, never through a symbolic link), syncs and closes it, renames it
// to `name` (replacing a file of that name) and syncs `dir`. Every step works
// on `dir`'s descriptor. The last step
// matters: the rename lives in the directory, and without the directory sync
// a power loss can undo it even though the file's data was synced.
//
// On a failure before the rename the temporary file is removed and `name` is
// untouched. When only the directory sync fails, `name` is in place but not
// durable; the error says so.
CYqError WriteFileDurably(const Directory& dir, const std::string& name, const std::string& bytes);
// The same for the directory `dir` named by its path, opened as a Directory
// (not created; an untrusted directory fails as Directory::Open says).
CYqError WriteFileDurably(Env* env, const std::string& dir, const std::string& name,
                          const std::string& bytes);

}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_FILES_FILE_H_
