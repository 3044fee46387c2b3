// A program outside the project that links the installed library through
// find_package(tarnalert). It fails (non-zero) when an exported interface is
// missing or misbehaves.
#include <tarnalert.h>

#include <cstdio>
#include <string>

int main() {
  EvAlertEx alert;
  alert << "argument" << 42;
  alert.auxText14 = "audit text";
  alert.alertType = 5;
  std::string text;
  if (alert.serializeForAuditTrail(text) != 0) return 1;
  EvAlertEx copy;
  if (copy.unserializeForAuditTrail(text) != 0 || copy.auxText14 != "audit text") return 2;
  if (NTBasicLib::htmlEncode(L"a < b") != L"a &lt; b") return 3;
  if (FXString::ToString(FXString::ToWstring("\xc3\xa9")) != "\xc3\xa9") return 4;
  tagTIMESTAMP_STRUCT record;
  UlongTimeToDbDatetime(86400L, record, true);
  if (record.year != 1970 || record.day != 2) return 5;
  std::printf("consumer: linked and ran against the installed tarnalert\n");
  return 0;
}
