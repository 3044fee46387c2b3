// Reading the cached configuration without holding alertDetailsCS, so that
// alerts on several threads read it at the same time. A reader then checks,
// under the lock, that the file it read is still the one in place before it
// publishes what it read; that gives the order a read under the lock gives.
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
// buffer handed back earlier is reused; `expectedSize` sizes a new one) and
// describes the file read in *file. Returns 0, or 1 with the reason logged
// and put into *problem when given (a missing file silently, leaving
// *problem empty). Takes no lock.
int ReadConfigFile(const std::string& path, size_t expectedSize, std::string* content,
                   FileInfo* file, std::string* problem = nullptr);

// True when `path` still names the file `file` describes (the same device
// and inode): no replacement has been renamed over it since.
bool IsStillTheFile(const std::string& path, const FileInfo& file);

// Keeps `buffer` (its content no longer needed) for a later read. Any thread
// may call it.
void HandBackReadBuffer(std::string&& buffer);

// Whether NTAlertProcessClient::xmlDataForAlerts holds the text of the
// configuration decoded last, so that an alert reading that text again need
// not copy it there. Read and written under alertDetailsCS; every other
// writer of xmlDataForAlerts clears it.
bool& XmlHoldsDecodedText();

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_ALERTCLIENT_DETAIL_CONFIGREAD_H_
