#include "delivery/spool/AlertSpool.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <pugixml.hpp>
#include <utility>

#include "platform/env/Settings.h"
#include "platform/files/Directory.h"
#include "platform/files/File.h"
#include "platform/message/XmlText.h"
#include "platform/system/KTTime.h"
#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace detail {

namespace {

constexpr const char* kRootElement = "spooledAlert";
constexpr int kFormatVersion = 1;

void AppendElement(std::string& out, const char* name, const std::string& value) {
  out += "  ";
  AppendXmlTextElement(name, {}, value, &out);
  out += '\n';
}

template <typename Number>
void AppendNumber(std::string& out, const char* name, Number value) {
  AppendElement(out, name, std::to_string(value));
}

std::string UtcStamp(time_t now) {
  struct tm utc;
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

// A name unique across the threads and processes of this host. The clock
// gives microseconds; the name keeps nine digits so that names of all
// versions sort by time.
std::string UniqueName(Env* env) {
  static std::atomic<uint64_t> counter{0};
  const uint64_t micros = env->NowMicros();
  const time_t seconds = static_cast<time_t>(micros / 1000000);
  struct tm utc;
  gmtime_r(&seconds, &utc);
  char name[128];
  std::snprintf(name, sizeof name, "%04d%02d%02dT%02d%02d%02d.%09luZ-%ld-%ld-%" PRIu64 ".alert",
                utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min,
                utc.tm_sec, static_cast<unsigned long>(micros % 1000000 * 1000),
                static_cast<long>(getpid()), static_cast<long>(syscall(SYS_gettid)),
                counter.fetch_add(1));
  return name;
}

// Removes what writers killed mid-write left behind. Listing a full spool
// costs, so this runs at most once a minute per process (and whenever the
// clock went back).
void RemoveStaleSpoolTemporaries(const Directory& directory) {
  static std::atomic<time_t> last_sweep{0};
  const time_t now = directory.env()->Now();
  time_t last = last_sweep.load();
  if (now >= last && now < last + 60) return;
  if (!last_sweep.compare_exchange_strong(last, now)) return;  // another thread sweeps
  directory.RemoveStaleTemporaries(IsDurableWriteTemporary, kStaleTemporaryAge);
}

FXCodeLocation SpoolLocation(int line) { return FXCodeLocation("AlertSpool", "SpoolAlert", line); }

bool ReadInteger(const pugi::xml_node& root, const char* name, long long* value) {
  pugi::xml_node node = root.child(name);
  if (!node) return true;  // absent members keep their defaults
  const char* text = node.child_value();
  char* end = nullptr;
  errno = 0;
  *value = std::strtoll(text, &end, 10);
  return end != text && *end == '\0' && errno == 0;
}

// The text of `node`'s element (empty when absent), decoded when it is
// marked encoding="base64". False, with the reason in `error`, when it is
// marked with another encoding or is not base64.
bool ReadText(const pugi::xml_node& node, std::string* text, std::string* error) {
  const pugi::xml_attribute encoding = node.attribute(kXmlEncodingAttribute);
  if (!encoding) {
    *text = node.child_value();
    return true;
  }
  if (std::strcmp(encoding.value(), kXmlBase64) != 0) {
    *error = std::string("unknown encoding '") + encoding.value() + "' of " + node.name();
    return false;
  }
  if (!DecodeXmlBase64(node.child_value(), text)) {
    *error = std::string(node.name()) + " is marked base64 but is not base64";
    return false;
  }
  return true;
}

// The client and time of the root element; the time as UtcStamp writes it.
bool ReadOrigin(const pugi::xml_node& root, SpoolOrigin* origin, std::string* error) {
  *origin = SpoolOrigin();
  const pugi::xml_attribute encoding = root.attribute("clientEncoding");
  const char* client = root.attribute("client").value();
  if (!encoding) {
    origin->client = client;
  } else if (std::strcmp(encoding.value(), kXmlBase64) != 0 ||
             !DecodeXmlBase64(client, &origin->client)) {
    *error = "the client attribute is not readable";
    return false;
  }
  struct tm utc = {};
  const char* stamp = root.attribute("spooledAt").value();
  const char* end = strptime(stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
  if (end != nullptr && *end == '\0') origin->spooledAt = std::max<time_t>(KT_timegm(&utc), 0);
  return true;
}

bool ReadUnsigned(const char* text, unsigned long long* value) {
  char* end = nullptr;
  errno = 0;
  *value = std::strtoull(text, &end, 10);
  return end != text && *end == '\0' && errno == 0 && text[0] != '-';
}

}  // namespace

time_t SpooledTime(const std::string& name) {
  struct tm utc = {};
  const char* end = strptime(name.c_str(), "%Y%m%dT%H%M%S", &utc);
  return end == name.c_str() + 15 ? std::max<time_t>(KT_timegm(&utc), 0) : 0;
}

std::string SpoolDocument(const EvAlertEx& alert) {
  Env* env = Env::Current();
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<";
  out += kRootElement;
  out += " version=\"" + std::to_string(kFormatVersion) + "\" client=\"";
  const std::string client = env->PhysicalMachineName("");
  if (AppendXmlEscaped(client.data(), client.size(), XmlEscapeContext::kAttribute, &out)) {
    out += '"';
  } else {
    AppendBase64(client.data(), client.size(), &out);
    out += "\" clientEncoding=\"";
    out += kXmlBase64;
    out += '"';
  }
  out += " pid=\"" + std::to_string(getpid()) + "\" spooledAt=\"" + UtcStamp(env->Now());
  out += "\">\n";
  AppendNumber(out, "alertType", alert.alertType);
  AppendNumber(out, "criteria", alert.criteria);
  AppendNumber(out, "status", alert.status);
  AppendNumber(out, "sparePoolNameId", alert.sparePoolNameId);
  AppendNumber(out, "driveNameId", alert.driveNameId);
  AppendNumber(out, "mountPathNameId", alert.mountPathNameId);
  AppendNumber(out, "auxNumber6", alert.auxNumber6);
  AppendNumber(out, "auxNumber7", alert.auxNumber7);
  AppendNumber(out, "auxNumber8", alert.auxNumber8);
  AppendNumber(out, "auxNumber9", alert.auxNumber9);
  AppendNumber(out, "auxNumber10", alert.auxNumber10);
  AppendNumber(out, "auxNumber11", alert.auxNumber11);
  AppendNumber(out, "auxNumber12", alert.auxNumber12);
  AppendNumber(out, "defaultStatus", alert.defaultStatus);
  AppendNumber(out, "auxNumber13", alert.auxNumber13);
  AppendElement(out, "auxText14", alert.auxText14);
  AppendElement(out, "auxText15", alert.auxText15);
  AppendElement(out, "auxText16", alert.auxText16);
  AppendNumber(out, "auxNumber1", alert.auxNumber1);
  AppendNumber(out, "auxNumber17", alert.auxNumber17);
  AppendNumber(out, "curMessageId", alert.curMessageId);
  AppendNumber(out, "curEventCode", alert.curEventCode);
  AppendNumber(out, "curEventData", alert.curEventData);
  AppendNumber(out, "prevJobDetail1", alert.prevJobDetail1);
  AppendNumber(out, "prevJobDetail2", alert.prevJobDetail2);
  AppendNumber(out, "prevJobDetail3", alert.prevJobDetail3);
  AppendElement(out, "msgString", alert.msgString);
  out += "  <jmFailureReasons>";
  for (int32_t reason : alert.jmFailureReasons) {
    out += "<reason>" + std::to_string(reason) + "</reason>";
  }
  out += "</jmFailureReasons>\n  <arguments>\n";
  for (const AlertEventMsg& argument : alert.eventMsgList) {
    out += "    ";
    AppendXmlTextElement("argument",
                         " eventCode=\"" + std::to_string(argument.eventCode) + "\" messageId=\"" +
                             std::to_string(argument.messageId) + "\" argType=\"" +
                             std::to_string(argument.argType) + "\" eventData=\"" +
                             std::to_string(argument.eventData) + "\"",
                         argument.text, &out);
    out += '\n';
  }
  out += "  </arguments>\n</";
  out += kRootElement;
  out += ">\n";
  return out;
}

bool ReadSpoolDocument(const std::string& text, EvAlertEx* alert, std::string* error,
                       SpoolOrigin* origin) {
  pugi::xml_document document;
  // No end-of-line normalization and blank-only texts kept: texts come back
  // byte for byte.
  pugi::xml_parse_result parsed = document.load_buffer(
      text.data(), text.size(), (pugi::parse_default & ~pugi::parse_eol) | pugi::parse_ws_pcdata,
      pugi::encoding_utf8);
  if (!parsed) {
    *error = std::string("not XML at offset ") + std::to_string(parsed.offset) + ": " +
             parsed.description();
    return false;
  }
  pugi::xml_node root = document.child(kRootElement);
  if (!root) {
    *error = "no spooledAlert element";
    return false;
  }
  EvAlertEx result;
  long long value = 0;
  struct IntegerMember {
    const char* name;
    void (*store)(EvAlertEx&, long long);
  };
  static const IntegerMember kIntegers[] = {
      {"alertType", [](EvAlertEx& a, long long v) { a.alertType = static_cast<int32_t>(v); }},
      {"criteria", [](EvAlertEx& a, long long v) { a.criteria = static_cast<int32_t>(v); }},
      {"status", [](EvAlertEx& a, long long v) { a.status = static_cast<int32_t>(v); }},
      {"sparePoolNameId",
       [](EvAlertEx& a, long long v) { a.sparePoolNameId = static_cast<uint32_t>(v); }},
      {"driveNameId", [](EvAlertEx& a, long long v) { a.driveNameId = static_cast<uint32_t>(v); }},
      {"mountPathNameId",
       [](EvAlertEx& a, long long v) { a.mountPathNameId = static_cast<uint32_t>(v); }},
      {"auxNumber6", [](EvAlertEx& a, long long v) { a.auxNumber6 = v; }},
      {"auxNumber7", [](EvAlertEx& a, long long v) { a.auxNumber7 = v; }},
      {"auxNumber8", [](EvAlertEx& a, long long v) { a.auxNumber8 = v; }},
      {"auxNumber9", [](EvAlertEx& a, long long v) { a.auxNumber9 = v; }},
      {"auxNumber10", [](EvAlertEx& a, long long v) { a.auxNumber10 = v; }},
      {"auxNumber11", [](EvAlertEx& a, long long v) { a.auxNumber11 = v; }},
      {"auxNumber12", [](EvAlertEx& a, long long v) { a.auxNumber12 = v; }},
      {"defaultStatus", [](EvAlertEx& a, long long v) { a.defaultStatus = v; }},
      {"auxNumber13", [](EvAlertEx& a, long long v) { a.auxNumber13 = v; }},
      {"auxNumber1", [](EvAlertEx& a, long long v) { a.auxNumber1 = v; }},
      {"auxNumber17", [](EvAlertEx& a, long long v) { a.auxNumber17 = static_cast<int32_t>(v); }},
      {"prevJobDetail1", [](EvAlertEx& a, long long v) { a.prevJobDetail1 = v; }},
      {"prevJobDetail2", [](EvAlertEx& a, long long v) { a.prevJobDetail2 = v; }},
      {"prevJobDetail3",
       [](EvAlertEx& a, long long v) { a.prevJobDetail3 = static_cast<int32_t>(v); }},
  };
  for (const IntegerMember& member : kIntegers) {
    value = 0;
    if (!ReadInteger(root, member.name, &value)) {
      *error = std::string("bad number in ") + member.name;
      return false;
    }
    member.store(result, value);
  }
  struct UnsignedMember {
    const char* name;
    uint64_t EvAlertEx::*member;
  };
  static const UnsignedMember kUnsigned[] = {{"curMessageId", &EvAlertEx::curMessageId},
                                             {"curEventCode", &EvAlertEx::curEventCode},
                                             {"curEventData", &EvAlertEx::curEventData}};
  for (const UnsignedMember& member : kUnsigned) {
    pugi::xml_node node = root.child(member.name);
    unsigned long long number = 0;
    if (node && !ReadUnsigned(node.child_value(), &number)) {
      *error = std::string("bad number in ") + member.name;
      return false;
    }
    result.*member.member = number;
  }
  const std::pair<const char*, std::string EvAlertEx::*> kTexts[] = {
      {"auxText14", &EvAlertEx::auxText14},
      {"auxText15", &EvAlertEx::auxText15},
      {"auxText16", &EvAlertEx::auxText16},
      {"msgString", &EvAlertEx::msgString}};
  for (const auto& [name, member] : kTexts) {
    if (!ReadText(root.child(name), &(result.*member), error)) return false;
  }
  for (pugi::xml_node reason : root.child("jmFailureReasons").children("reason")) {
    result.jmFailureReasons.push_back(static_cast<int32_t>(reason.text().as_llong()));
  }
  for (pugi::xml_node node : root.child("arguments").children("argument")) {
    AlertEventMsg argument;
    unsigned long long numbers[4] = {};
    const char* names[4] = {"eventCode", "messageId", "argType", "eventData"};
    for (int i = 0; i < 4; ++i) {
      if (!ReadUnsigned(node.attribute(names[i]).value(), &numbers[i])) {
        *error = std::string("bad argument attribute ") + names[i];
        return false;
      }
    }
    argument.eventCode = numbers[0];
    argument.messageId = numbers[1];
    argument.argType = numbers[2];
    argument.eventData = numbers[3];
    if (!ReadText(node, &argument.text, error)) return false;
    result.eventMsgList.push_back(std::move(argument));
  }
  if (origin != nullptr && !ReadOrigin(root, origin, error)) return false;
  *alert = std::move(result);
  return true;
}

CYqError SpoolAlert(const EvAlertEx& alert) {
  Env* env = Env::Current();
  const std::string path = SpoolDirectory();
  Directory directory;
  CYqError error = Directory::Open(env, path, true, &directory);
  if (error.IsError()) {
    return error.Push(SpoolLocation(__LINE__), "cannot use spool directory %s", path.c_str());
  }
  RemoveStaleSpoolTemporaries(directory);
  const std::string name = UniqueName(env);
  error = WriteFileDurably(directory, name, SpoolDocument(alert));
  if (error.IsError()) {
    // An alert is handed over only once its file is durable. When the rename
    // took place but the directory could not be flushed, a power loss could
    // still take the file back: take it back now, so that the caller's answer
    // holds. (Should the removal not survive a power loss either, the alert
    // arrives twice, which is better than never.)
    (void)env->RemoveFileAt(directory.fd(), name);  // usually absent: the rename failed
    return error.Push(SpoolLocation(__LINE__), "cannot spool alert into %s", path.c_str());
  }
  return CYqError::Success();
}

}  // namespace detail
}  // namespace tarnalert
