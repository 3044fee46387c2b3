// Reading the cached configuration file, shared by
// NTAlertProcessClient::RetrieveDetailsFromXML and the alerts, which decode
// what they read once the lock is let go.
#ifndef TARNALERT_ALERTCLIENT_DETAIL_CONFIGREAD_H_
#define TARNALERT_ALERTCLIENT_DETAIL_CONFIGREAD_H_

#include <cstddef>
#include <string>

#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {
namespace detail {

// Opens the configuration file at `path` for reading by the trust rule
// (platform/files/Directory.h): its directory as a directory the library
// uses, the file (or where a link in its place leads) as a trusted file.
// Fails with the refusal, or with "Couldn't open P: <system text>" and the
// errno as code (-ENOENT when there is no configuration).
CYqError OpenConfigFile(const std::string& path, int* fd, FileInfo* file);

// Reads the configuration file at `path` whole, in 4 KiB reads, with the log
// lines of NTAlertProcessClient::RetrieveDetailsFromXML, into *content (a
// buffer handed back earlier is reused; `expectedSize` sizes a new one).
// Returns 0, or 1 with the reason logged and put into *problem when given (a
// missing file silently, leaving *problem empty). The caller holds
// alertDetailsCS, so no update of this process lands while the file is read,
// except one made from within the read itself (an Env call of this thread
// reaching UpdateAlertConfig): that one is not undone, the file is read
// again.
int ReadConfigFile(const std::string& path, size_t expectedSize, std::string* content,
                   std::string* problem = nullptr);

// Keeps `buffer` (its content no longer needed) for a later read. Any thread
// may call it.
void HandBackReadBuffer(std::string&& buffer);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_DETAIL_CONFIGREAD_H_
