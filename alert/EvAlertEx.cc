#include "tarnalert/alert/EvAlertEx.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/event/ArgumentText.h"
#include "tarnalert/platform/text/FXString.h"

namespace {

// Formats into a zeroed 1024-byte buffer bounded at 1023, so at most 1022
// characters are kept. Logs the truncation (or a formatting error) once.
std::string FormatMessageText(const char* functionTag, const char* format, va_list args) {
  char buffer[1024] = {};
  if (format == nullptr) return buffer;  // nothing to format
  int needed = std::vsnprintf(buffer, 1023, format, args);
  if (needed < 0 || needed > 1022) {
    EvEvent().Error(functionTag, "Format string too long (truncated)[%s]", buffer);
  }
  return buffer;
}

}  // namespace

EvAlertEx& EvAlertEx::AppendScalar(const void* value, int typeCode) {
  return Append(typeCode, tarnalert::detail::RenderArgument(value, typeCode));
}

EvAlertEx& EvAlertEx::Append(int typeCode, std::string text) {
  AlertEventMsg entry;
  entry.eventCode = curEventCode;
  entry.messageId = curMessageId;
  entry.argType = static_cast<uint64_t>(typeCode);
  entry.eventData = curEventData;
  entry.text = std::move(text);
  eventMsgList.push_back(std::move(entry));
  return *this;
}

EvAlertEx& EvAlertEx::operator<<(char value) { return AppendScalar(&value, kArgChar); }
EvAlertEx& EvAlertEx::operator<<(unsigned char value) {
  return AppendScalar(&value, kArgUnsignedChar);
}
EvAlertEx& EvAlertEx::operator<<(short value) { return AppendScalar(&value, kArgShort); }
EvAlertEx& EvAlertEx::operator<<(unsigned short value) {
  return AppendScalar(&value, kArgUnsignedShort);
}
EvAlertEx& EvAlertEx::operator<<(int value) { return AppendScalar(&value, kArgInt); }
EvAlertEx& EvAlertEx::operator<<(unsigned int value) {
  return AppendScalar(&value, kArgUnsignedInt);
}
EvAlertEx& EvAlertEx::operator<<(long value) { return AppendScalar(&value, kArgLong); }
EvAlertEx& EvAlertEx::operator<<(unsigned long value) {
  return AppendScalar(&value, kArgUnsignedLong);
}
EvAlertEx& EvAlertEx::operator<<(long long value) { return AppendScalar(&value, kArgLongLong); }
EvAlertEx& EvAlertEx::operator<<(unsigned long long value) {
  return AppendScalar(&value, kArgUnsignedLongLong);
}

EvAlertEx& EvAlertEx::operator<<(const char* text) {
  return Append(kArgText, text != nullptr ? text : "");  // a null text is taken as empty
}

EvAlertEx& EvAlertEx::operator<<(const ArgumentInfo* args) {
  if (args == nullptr || args->NoOfArgs() == 0) return *this;
  for (const ArgumentInfo* node = args; node != nullptr; node = node->next) {
    if (node->type == kArgText) {
      // The value area need not hold a terminator: never read past it.
      Append(kArgText, std::string(node->value, strnlen(node->value, sizeof node->value)));
    } else if (node->type >= kArgChar && node->type <= kArgUnsignedLongLong) {
      AppendScalar(node->value, node->type);
    } else {  // every code without a type of its own streams as an int
      AppendScalar(node->value, kArgInt);
    }
  }
  return *this;
}

void EvAlertEx::fmtMsgString(const char* format, ...) {
  va_list args;
  va_start(args, format);
  msgString += FormatMessageText("EvAlertEx::fmtMsgString", format, args);
  va_end(args);
}

void EvAlertEx::fmtNewMsgString(const char* format, ...) {
  va_list args;
  va_start(args, format);
  msgString = FormatMessageText("EvAlertEx::fmtNewMsgString", format, args);
  va_end(args);
}

void EvAlertEx::pushEventMsgString(unsigned long messageId) {
  EvEvent event;
  char buffer[512] = {};
  event.evPrintf(messageId, buffer, 512, 0LL);
  *this << static_cast<const char*>(buffer);
}

bool EvAlertEx::setJMFailureReasons(const char* list) {
  jmFailureReasons.clear();
  if (list == nullptr || *list == '\0') return false;
  std::string copy = list;
  size_t at = 0;
  while (at < copy.size()) {
    size_t start = copy.find_first_not_of(" ,", at);
    if (start == std::string::npos) break;
    size_t end = copy.find_first_of(" ,", start);
    if (end == std::string::npos) end = copy.size();
    jmFailureReasons.push_back(FXString::ToInt32(copy.substr(start, end - start).c_str()));
    at = end;
  }
  return true;
}

bool EvAlertEx::setDriveName(unsigned long id) {
  driveNameId = static_cast<uint32_t>(id);
  return true;
}

bool EvAlertEx::setSparePoolName(unsigned long id) {
  sparePoolNameId = static_cast<uint32_t>(id);
  return true;
}

bool EvAlertEx::setMountPathName(unsigned long id) {
  mountPathNameId = static_cast<uint32_t>(id);
  return true;
}

bool EvAlertEx::setDrivePoolName(unsigned long) { return true; }
bool EvAlertEx::setContainer(unsigned long) { return true; }
bool EvAlertEx::setExportLocation(unsigned long) { return true; }
bool EvAlertEx::setVtPolicyName(unsigned long) { return true; }

void EvAlertEx::setPrevJobDetails(long long detail1, long long detail2, int detail3) {
  prevJobDetail1 = detail1;
  prevJobDetail2 = detail2;
  prevJobDetail3 = detail3;
}

int EvAlertEx::DumpAlert(const char*) { return 0; }
