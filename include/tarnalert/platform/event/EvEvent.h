// platform/event: the event catalogue and the debug log. Depends on
// platform/text, platform/env and platform/files.
//
// EvEvent renders catalogue messages by id; EvDebug writes the debug log.
//
// A message id names a text of the event catalogue (the embedded English
// catalogue, or a per-locale catalogue file that falls back to it; see
// docs/templates.md). Texts may hold numbered argument placeholders %1, %2, ...
// (and %% for a percent sign) that evPrintf fills with the arguments added to
// the EvEvent since its last evPrintf; rendering consumes those arguments.
//
// Every EvEvent is also a logger: the EvDebug operations write one line each
// to the debug log (layout and levels in docs/logging.md). They never throw,
// and lines from threads and processes never interleave.
//
// An EvEvent belongs to one thread at a time; the log and catalogue behind it
// may be used from any thread.
#ifndef TARNALERT_PLATFORM_EVENT_EVEVENT_H_
#define TARNALERT_PLATFORM_EVENT_EVEVENT_H_

#include <cstddef>
#include <string>
#include <vector>

#include "tarnalert/platform/Export.h"

// Argument type codes shared by EvEvent, ArgumentInfo and the alert record.
enum ArgumentTypeCode {
  kArgChar = 1,
  kArgUnsignedChar = 2,
  kArgShort = 3,
  kArgUnsignedShort = 4,
  kArgInt = 5,
  kArgUnsignedInt = 6,
  kArgLong = 7,
  kArgUnsignedLong = 8,
  kArgLongLong = 9,
  kArgUnsignedLongLong = 10,
  kArgText = 11,
  kArgEndOfMessage = 14,
};

// An argument list of the event catalogue: this object is the first node of a
// singly linked list. Each node holds one argument in `value` (a scalar of
// `type`, or for type 11 the text itself, NUL-terminated) and links to the
// next through `next`. The head counts the arguments in `count`; nodes are
// owned by the head.
class TARNALERT_EXPORT ArgumentInfo {
 public:
  static constexpr size_t kValueSize = 1024;

  ArgumentInfo() = default;
  ArgumentInfo(const ArgumentInfo&) = delete;
  ArgumentInfo& operator=(const ArgumentInfo&) = delete;
  ~ArgumentInfo();

  // Number of arguments held by the list.
  int NoOfArgs() const { return count; }
  // Appends an argument: `size` bytes of `value` (at most kValueSize) of the
  // type code `typeCode`. The head holds the first argument itself.
  void Append(const void* value, size_t size, int typeCode);

  ArgumentInfo* next = nullptr;  // must stay the first member
  char value[kValueSize] = {};
  int type = 0;
  int count = 0;

 private:
  ArgumentInfo* tail_ = nullptr;  // last node of the chain; null while it is the head
};

class TARNALERT_EXPORT EvDebug {
 public:
  // One line at debug severity, printf-style, tagged with the caller's name.
  void Debug(const char* functionTag, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  // One line at error severity; always written.
  void Error(const char* functionTag, const char* format, ...)
      __attribute__((format(printf, 3, 4)));
  // A debug line with a verbosity level; written when the level is at most the
  // configured verbosity.
  void DebugLvl(const char* functionTag, int level, const char* format, ...)
      __attribute__((format(printf, 4, 5)));
  // The same without a function tag; the format carries its own prefix.
  void debugLvl(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  // True when a debug line of `level` would be written now: lets a caller
  // skip working out what only such a line shows.
  static bool IsLogged(int level);

  // Where the default log writes, as the settings in force say: the path of
  // its file, or "-" for standard error.
  static std::string LogPath();
};

class TARNALERT_EXPORT EvEvent : public EvDebug {
 public:
  EvEvent();
  EvEvent(const EvEvent&) = delete;
  EvEvent& operator=(const EvEvent&) = delete;
  virtual ~EvEvent();

  // Appends one argument of `typeCode` read from `value` (a text for 11).
  // Unknown codes are read as an int; a null value adds an empty text.
  void addArgument(const void* value, int typeCode);
  // addArgument(text, 11).
  EvEvent& operator<<(const char* text);
  // Number of arguments added since the last evPrintf.
  size_t argumentCount() const { return arguments_.size(); }

  // Writes the catalogue text of `messageId` in the language of `localeId`,
  // filled with the arguments added so far, into `buffer` as a NUL-terminated
  // string of at most `size` bytes (cut at a character boundary), and returns
  // `buffer`. An unknown id leaves the empty string. The arguments are
  // consumed. Nothing is written when `size` is 0.
  char* evPrintf(unsigned long messageId, char* buffer, unsigned long size, unsigned long localeId);
  char* evPrintf(unsigned long messageId, char* buffer, unsigned long size, long long localeId);

 private:
  std::vector<std::string> arguments_;  // rendered as text
};

#endif  // TARNALERT_PLATFORM_EVENT_EVEVENT_H_
