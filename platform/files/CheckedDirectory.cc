#include "tarnalert/platform/files/CheckedDirectory.h"

#include "platform/files/Directory.h"
#include "platform/files/File.h"

namespace tarnalert {

CheckedDirectory::CheckedDirectory() : directory_(new Directory) {}

CheckedDirectory::~CheckedDirectory() = default;

CYqError CheckedDirectory::Open(const std::string& path) {
  return Directory::Open(Env::Current(), path, true, directory_.get());
}

CYqError CheckedDirectory::WriteFile(const std::string& name, const std::string& bytes) {
  // A writer stopped mid-write leaves its temporary file, which would stop
  // the exclusive creation of the next one.
  (void)directory_->env()->RemoveFileAt(directory_->fd(), "." + name + ".tmp");
  return WriteFileDurably(*directory_, name, bytes);
}

}  // namespace tarnalert
