#include "platform/files/TimeRecord.h"

#include <cstdlib>

#include "platform/env/Settings.h"
#include "platform/files/Directory.h"
#include "platform/files/File.h"

namespace tarnalert {

std::string RecordDirectory() { return detail::StateDirectory() + "/status"; }

CYqError RecordTime(Env* env, const char* name, time_t time) {
  Directory directory;
  CYqError error = Directory::Open(env, RecordDirectory(), true, &directory);
  if (error.IsError()) return error;
  return WriteFileDurably(directory, name, std::to_string(static_cast<long long>(time)) + "\n");
}

time_t RecordedTime(Env* env, const char* name) {
  std::string text;
  if (ReadFileToString(env, RecordDirectory() + "/" + name, 64, &text).IsError()) return 0;
  char* end = nullptr;
  const long long time = std::strtoll(text.c_str(), &end, 10);
  return end != text.c_str() && (*end == '\n' || *end == '\0') && time > 0
             ? static_cast<time_t>(time)
             : 0;
}

}  // namespace tarnalert
