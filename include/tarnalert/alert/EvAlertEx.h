// EvAlertEx: the alert record that a component fills and sends.
//
// The caller sets the members it knows, streams the message arguments with the
// << operators (each becomes one AlertEventMsg stamped with the current event
// code, message id and event data), formats the free message text with
// fmtMsgString/fmtNewMsgString and calls sendAlert. Alert type 74, the
// client-side failover alert, is evaluated on this client against the cached
// alert configuration; every other type is handed to the management server.
//
// The record belongs to its caller and is not synchronized: one thread fills
// and sends it. sendAlert may be called from many threads on different records.
#ifndef TARNALERT_ALERT_EVALERTEX_H_
#define TARNALERT_ALERT_EVALERTEX_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tarnalert/platform/Export.h"
#include "tarnalert/platform/event/EvEvent.h"

namespace tarnalert {
// The client-side failover alert: the one type that sendAlert evaluates on
// the client (the local road) instead of handing it to the server.
inline constexpr int kFailoverAlertType = 74;
}  // namespace tarnalert

// One streamed argument of an alert.
struct TARNALERT_EXPORT AlertEventMsg {
  uint64_t eventCode = 0;  // the alert's curEventCode when it was streamed
  uint64_t messageId = 0;  // the alert's curMessageId: the message it is an argument of
  uint64_t argType = 0;    // argument type code (ArgumentTypeCode); 14 ends one event message
  uint64_t eventData = 0;  // the alert's curEventData
  std::string text;        // the argument rendered as text
};

class TARNALERT_EXPORT EvAlertEx {
 public:
  EvAlertEx() = default;

  // --- Streaming: each operator appends one argument and returns the alert.
  EvAlertEx& operator<<(char value);
  EvAlertEx& operator<<(unsigned char value);
  EvAlertEx& operator<<(short value);
  EvAlertEx& operator<<(unsigned short value);
  EvAlertEx& operator<<(int value);
  EvAlertEx& operator<<(unsigned int value);
  EvAlertEx& operator<<(long value);
  EvAlertEx& operator<<(unsigned long value);
  EvAlertEx& operator<<(long long value);
  EvAlertEx& operator<<(unsigned long long value);
  // A copy of the whole text; a null pointer streams an empty text.
  EvAlertEx& operator<<(const char* text);
  // One argument per node of the list; nothing for null or an empty list.
  EvAlertEx& operator<<(const ArgumentInfo* args);

  // --- Message text. Texts longer than 1022 characters are cut there and the
  // truncation is logged once.
  // Appends the formatted text to msgString.
  void fmtMsgString(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Replaces msgString with the formatted text.
  void fmtNewMsgString(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Renders the catalogue message `messageId` and streams it as a text argument.
  void pushEventMsgString(unsigned long messageId);

  // Replaces jmFailureReasons with the numbers of a list separated by commas
  // or blanks. False, with an empty list, for a null or empty text. A piece
  // reads as atoi reads it; one outside the 32-bit range saturates.
  bool setJMFailureReasons(const char* list);

  bool setDriveName(unsigned long id);
  bool setSparePoolName(unsigned long id);
  bool setMountPathName(unsigned long id);
  // Accepted for callers of the full platform; this client records nothing.
  bool setDrivePoolName(unsigned long id);
  bool setContainer(unsigned long id);
  bool setExportLocation(unsigned long id);
  bool setVtPolicyName(unsigned long id);
  void setPrevJobDetails(long long detail1, long long detail2, int detail3);
  // Kept for callers of the full platform: does nothing and returns 0.
  int DumpAlert(const char* path);

  // The live list of streamed arguments; callers may append to it.
  std::vector<AlertEventMsg>& getEventMsgList() { return eventMsgList; }

  // Stamps type, criteria and status (defaultStatus when status is 0) and
  // sends the alert: type 74 is evaluated on this client and returns 1; every
  // other type goes to the management server: 1 when handed over, 0 (with the
  // adapter's error text in the debug log) when not.
  int sendAlert(int alertType, int criteria, int status);

  // The audit-trail XML form of the alert; 0 on success.
  int serializeForAuditTrail(std::string& text);
  // Fills the audit-trail members from `text`; 0 on success, otherwise
  // non-zero and the alert unchanged.
  int unserializeForAuditTrail(std::string text);

  // --- Members, in the order of the record.
  int32_t alertType = 0;
  int32_t criteria = 0;
  int32_t status = 0;
  uint32_t sparePoolNameId = 0;
  uint32_t driveNameId = 0;
  uint32_t mountPathNameId = 0;
  int64_t auxNumber6 = 0;
  int64_t auxNumber7 = 0;
  int64_t auxNumber8 = 0;
  int64_t auxNumber9 = 0;
  int64_t auxNumber10 = 0;
  int64_t auxNumber11 = 0;
  int64_t auxNumber12 = 0;
  int64_t defaultStatus = 0;  // holds a 32-bit value
  int64_t auxNumber13 = 0;
  std::string auxText14;
  std::string auxText15;
  std::string auxText16;
  int64_t auxNumber1 = 0;  // holds a 32-bit value
  int32_t auxNumber17 = 0;
  std::vector<int32_t> jmFailureReasons;
  std::vector<AlertEventMsg> eventMsgList;
  uint64_t curMessageId = 0;
  uint64_t curEventCode = 0;
  uint64_t curEventData = 0;
  int64_t prevJobDetail1 = 0;
  int64_t prevJobDetail2 = 0;
  int32_t prevJobDetail3 = 0;
  std::string msgString;

 private:
  EvAlertEx& Append(int typeCode, std::string text);
  // Appends the scalar of `typeCode` read from `value`.
  EvAlertEx& AppendScalar(const void* value, int typeCode);
};

#endif  // TARNALERT_ALERT_EVALERTEX_H_
