// Times recorded in the state directory: when something last succeeded
// (a mail delivered, alerts forwarded), for a status report to read. Each is
// one small file, <state>/status/<name>, holding the time in seconds since
// 1970 as decimal text, replaced whole (WriteFileDurably) at each record.
//
// Stateless; safe from any thread and process (the last writer wins).
#ifndef TARNALERT_PLATFORM_FILES_TIMERECORD_H_
#define TARNALERT_PLATFORM_FILES_TIMERECORD_H_

#include <ctime>
#include <string>

#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/files/CYqError.h"

namespace tarnalert {

// The records kept.
constexpr const char* kLastDeliveryRecord = "last-delivery";  // a mail message delivered
constexpr const char* kLastForwardRecord = "last-forward";    // spooled alerts forwarded

// <state>/status.
std::string RecordDirectory();

// Records `time` as `name` (the directory made when missing). Fails with
// the step and the system's reason.
CYqError RecordTime(Env* env, const char* name, time_t time);

// The time recorded as `name`; 0 when there is none or it cannot be read.
time_t RecordedTime(Env* env, const char* name);

}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_FILES_TIMERECORD_H_
