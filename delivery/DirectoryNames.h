// The names in a directory, for the outbox and the spool forwarder, which
// pick their files by name. Reads the directory once; keeps nothing.
#ifndef TARNALERT_DELIVERY_DIRECTORYNAMES_H_
#define TARNALERT_DELIVERY_DIRECTORYNAMES_H_

#include <string>
#include <vector>

#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {
namespace detail {

// Puts the names in `directory` that end in `suffix` and do not start with
// a dot (files being written) into `names`, sorted. Fails with the system's
// reason when the directory cannot be read; a missing directory is empty.
CYqError ListNames(const std::string& directory, const std::string& suffix,
                   std::vector<std::string>* names);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_DIRECTORYNAMES_H_
