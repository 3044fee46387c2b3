// CheckedDirectory: a directory a program writes files of its own into (the
// tarnalert tool's render --html-out, say), checked by the library's trust
// rule (docs/settings.md, "Which directories and files the library
// trusts") and held by its descriptor, so the program follows the same rule
// as the library and a directory swapped after the check redirects nothing.
//
// Owns the open directory; neither copied nor moved; one thread at a time.
#ifndef TARNALERT_PLATFORM_FILES_CHECKEDDIRECTORY_H_
#define TARNALERT_PLATFORM_FILES_CHECKEDDIRECTORY_H_

#include <memory>
#include <string>

#include "tarnalert/platform/Export.h"
#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {

class Directory;

class TARNALERT_EXPORT CheckedDirectory {
 public:
  CheckedDirectory();
  ~CheckedDirectory();
  CheckedDirectory(const CheckedDirectory&) = delete;
  CheckedDirectory& operator=(const CheckedDirectory&) = delete;

  // Opens the directory `path` with the Env in force, made (mode 0700) when
  // missing. Fails with the refusal ("Refusing directory P: ...") or the
  // system's reason.
  CYqError Open(const std::string& path);

  // Puts the file `name` holding `bytes` into the directory: written under
  // a temporary name (one an earlier writer left is replaced), never
  // through a link, made durable and renamed over `name`, so a reader sees
  // the old file or the new one whole. REQUIRES: Open succeeded.
  CYqError WriteFile(const std::string& name, const std::string& bytes);

 private:
  std::unique_ptr<Directory> directory_;
};

}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_FILES_CHECKEDDIRECTORY_H_
