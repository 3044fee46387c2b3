// Opening the cached configuration by the trust rule, for the local road
// (ReadConfigFile) and for programs that show it (ReadInstalledConfig).
#include "tarnalert/alertclient/InstalledConfig.h"

#include <cerrno>

#include "alertclient/detail/ConfigRead.h"
#include "platform/files/Directory.h"
#include "platform/files/File.h"
#include "platform/files/Paths.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {

namespace detail {

CYqError OpenConfigFile(const std::string& path, int* fd, FileInfo* file) {
  Directory directory;
  CYqError error = Directory::Open(Env::Current(), DirectoryOf(path), false, &directory);
  if (error.IsError()) return error;
  // An administrator may link the file elsewhere: the link and where it
  // leads are checked like every directory on the way (replacing the file
  // never writes through a link).
  bool refused = false;
  error = OpenTrustedFileAt(directory, "the configuration", path.substr(path.find_last_of('/') + 1),
                            FileKeeping::kTrusted, fd, file, &refused);
  if (!error.IsError() || refused) return error;
  const int number = -error.Code();
  return FXErrorUtil::ErrorErrNo(FXCodeLocation("InstalledConfig", "OpenConfigFile", __LINE__),
                                 number, "Couldn't open %s: %s", path.c_str(),
                                 FXErrorUtil::ErrorText(number).c_str());
}

}  // namespace detail

CYqError ReadInstalledConfig(std::string* path, std::string* text) {
  text->clear();
  *path = NTAlertProcessClient::GetConfigFileName();
  if (path->empty()) {
    return FXErrorUtil::ErrorErrNo(FXCodeLocation("InstalledConfig", __func__, __LINE__), EINVAL,
                                   "the configuration has no path: the platform knows no client "
                                   "name or job results directory");
  }
  int fd = -1;
  FileInfo file;
  CYqError error = detail::OpenConfigFile(*path, &fd, &file);
  if (error.Code() == -ENOENT) {
    return FXErrorUtil::ErrorErrNo(FXCodeLocation("InstalledConfig", __func__, __LINE__), ENOENT,
                                   "no configuration is installed at %s", path->c_str());
  }
  if (error.IsError()) return error;
  Env* env = Env::Current();
  error = ReadToEnd(env, fd, *path, text->max_size(), text);
  (void)env->CloseFile(fd);  // only read
  if (error.IsError()) text->clear();
  return error;
}

}  // namespace tarnalert
