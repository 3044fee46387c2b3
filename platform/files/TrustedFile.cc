#include "platform/files/TrustedFile.h"

#include <cerrno>

#include "platform/files/File.h"

namespace tarnalert {

CYqError ReadTrustedFile(Env* env, const std::string& what, const std::string& path,
                         FileKeeping keeping, size_t maxBytes, std::string* out) {
  WipeSecret(out);
  int fd = -1;
  FileInfo info;
  CYqError error = OpenTrustedFile(env, what, path, keeping, &fd, &info);
  if (error.IsError()) return error;
  if (info.size > maxBytes) {
    error = FXErrorUtil::ErrorErrNo(FXCodeLocation("TrustedFile", "ReadTrustedFile", __LINE__),
                                    EFBIG, "Refusing %s %s: larger than %zu bytes", what.c_str(),
                                    path.c_str(), maxBytes);
  } else {
    // Room for all of it at once, so that no copy of a secret is left in a
    // buffer given up while growing.
    out->reserve(static_cast<size_t>(info.size) + 1);
    error = ReadToEnd(env, fd, path, maxBytes, out);
  }
  (void)env->CloseFile(fd);  // only read
  if (error.IsError()) WipeSecret(out);
  return error;
}

void WipeSecret(std::string* secret) {
  volatile char* data = secret->empty() ? nullptr : &(*secret)[0];
  for (size_t i = 0; i < secret->size(); ++i) data[i] = '\0';
  secret->clear();
}

}  // namespace tarnalert
