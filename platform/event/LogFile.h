// The default debug log sink: an O_APPEND file (docs/logging.md).
//
// Each line is written with one write on a descriptor opened with O_APPEND,
// so lines of threads and processes never interleave. The file is opened on
// first use (in a trusted directory, see platform/files/Directory.h) and
// reopened when the LOG_FILE setting names another path or the file was
// renamed or removed (log rotation); an open that failed is tried again at
// most once a second. "-" means standard error. One process-wide file, guarded by a lock of its
// own: safe to call from any thread, and still usable during exit.
#ifndef TARNALERT_PLATFORM_EVENT_LOGFILE_H_
#define TARNALERT_PLATFORM_EVENT_LOGFILE_H_

#include <string>

#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace detail {

// Appends the finished `line` to the log file at LogFilePath(), creating the
// file (mode 0600, never through a symbolic link, only a regular file) and
// its directory when missing, with the file operations of `files`. Failures are dropped: the log
// has nowhere to report them.
void AppendToLogFile(Env* files, const std::string& line);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_EVENT_LOGFILE_H_
