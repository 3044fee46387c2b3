// FXFile: the platform's file operations, with Win32-style arguments mapped
// onto POSIX files.
//
// Every operation goes through the Env in force (Env::OpenFile, WriteFile,
// SyncFile, RenameFile, RemoveFile, SyncDirectory, LockFile), so tests can
// make any step fail. Every failure is a CYqError (code: the negated errno)
// whose message names the file or descriptor and carries the system's text.
//
// Files are created with mode 0600 (the process umask may only narrow it),
// close-on-exec, and never through a symbolic link in the last component.
// Sharing modes, security attributes, templates and file flags have no POSIX
// counterpart and are ignored. All operations may be called from any thread.
//
// Each call that takes a path also comes in a form taking a trusted open
// Directory and a name inside it: the same steps and messages (which name
// the whole path), carried out relative to the directory's descriptor.
#ifndef TARNALERT_PLATFORM_FILES_FXFILE_H_
#define TARNALERT_PLATFORM_FILES_FXFILE_H_

#include "platform/files/Directory.h"
#include "platform/files/FileHandle.h"
#include "tarnalert/platform/files/CYqError.h"

class FXFile {
 public:
  // Access mask bits of KTCreateFile.
  static constexpr unsigned long kGenericRead = 0x80000000UL;
  static constexpr unsigned long kGenericWrite = 0x40000000UL;
  static constexpr unsigned long kGenericAll = 0x10000000UL;
  // Creation dispositions of KTCreateFile.
  static constexpr unsigned long kCreateNew = 1;         // fails when the file exists
  static constexpr unsigned long kCreateAlways = 2;      // creates or truncates
  static constexpr unsigned long kOpenExisting = 3;      // fails when the file is missing
  static constexpr unsigned long kOpenAlways = 4;        // opens or creates
  static constexpr unsigned long kTruncateExisting = 5;  // truncates; fails when missing
  // Flag of KTMoveFileEx: replace an existing target.
  static constexpr unsigned long kMoveReplaceExisting = 1;

  // Removes the file (a symbolic link itself, never its target). Fails for a
  // missing file as for any other reason.
  static CYqError RemoveFile(const char* path);

  // Opens or creates `path` as `creationDisposition` says, for the access in
  // `desiredAccess`, and puts the descriptor into `handle` (closing what it
  // held). A new file gets mode 0600. Fails (handle holding -1) for an
  // unknown disposition, a symbolic link at `path`, or any system error.
  static CYqError KTCreateFile(auto_handle& handle, const char* path, unsigned long desiredAccess,
                               unsigned long shareMode, void* securityAttributes,
                               unsigned long creationDisposition, unsigned long flagsAndAttributes,
                               void* templateFile);

  // Writes up to `bytesToWrite` bytes once and stores the count written in
  // `*bytesWritten` (0 on failure). Writing nothing when bytes were given is
  // a failure, so a caller looping until all is written always advances.
  // Overlapped (asynchronous) writes are not supported: a non-null
  // `overlapped` fails.
  static CYqError KTWriteFile(const auto_handle& handle, const void* buffer,
                              unsigned long bytesToWrite, unsigned long* bytesWritten,
                              void* overlapped);

  // Makes the data written so far durable (fsync).
  static CYqError KTFlushFileBuffers(const auto_handle& handle);

  // Renames `existingPath` to `newPath` and makes the rename durable by
  // syncing the directories involved. With kMoveReplaceExisting an existing
  // `newPath` (a symbolic link included, never its target) is replaced
  // atomically; without it an existing `newPath` fails the move (checked just
  // before the rename, so a file created in between is still replaced). A
  // failed directory sync is reported even though the rename took place;
  // `renamed`, when given, tells whether it did.
  static CYqError KTMoveFileEx(const char* existingPath, const char* newPath, unsigned long flags,
                               bool* renamed = nullptr);

  // Opens (creating with mode 0600 when missing, never through a symbolic
  // link) the lock file `path` into `handle` and takes an exclusive advisory
  // lock on it, waiting while another process or descriptor holds it.
  static CYqError KTLockFile(auto_handle& handle, const char* path);
  // Releases the lock taken by KTLockFile; the handle stays open.
  static CYqError KTUnlockFile(const auto_handle& handle);

  // The calls above for `name` inside `directory`. A move stays inside the
  // directory and syncs it once.
  static CYqError RemoveFile(const tarnalert::Directory& directory, const char* name);
  static CYqError KTCreateFile(auto_handle& handle, const tarnalert::Directory& directory,
                               const char* name, unsigned long desiredAccess,
                               unsigned long shareMode, void* securityAttributes,
                               unsigned long creationDisposition, unsigned long flagsAndAttributes,
                               void* templateFile);
  static CYqError KTMoveFileEx(const tarnalert::Directory& directory, const char* existingName,
                               const char* newName, unsigned long flags, bool* renamed = nullptr);
  static CYqError KTLockFile(auto_handle& handle, const tarnalert::Directory& directory,
                             const char* name);
};

#endif  // TARNALERT_PLATFORM_FILES_FXFILE_H_
