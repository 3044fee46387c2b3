// A program outside the project that links the installed library through
// find_package(tarnalert). It fails (non-zero) when an exported interface is
// missing or misbehaves.
#include <tarnalert.h>
#include <tarnalert/version.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Counts the e-mail requests the local road builds.
class CountingEnv : public tarnalert::EnvWrapper {
 public:
  CountingEnv() : EnvWrapper(tarnalert::Env::Default()) {}
  tarnalert::DeliveryResult DeliverEmail(const std::string& request, int) override {
    ++requests;
    last = request;
    return tarnalert::DeliveryResult{0, L""};
  }
  int requests = 0;
  std::string last;
};

const char kConfiguration[] =
    "<GetAlertDetailForClientResp><alertDetails><AlertDetail>"
    "<alert><alert><id>1</id><name>rule</name></alert><alertType><id>74</id></alertType></alert>"
    "<criteria><AlertCriteria><criteriaId>3</criteriaId></AlertCriteria></criteria>"
    "<notifMessages><AlertNotifMsg><notifType>1</notifType>"
    "<textTemplate>Alert &lt;Alert Name&gt;\nbody</textTemplate></AlertNotifMsg></notifMessages>"
    "<nonNebrixUsers><NTNonNebrixUser><emailAddress>a@example.com</emailAddress>"
    "</NTNonNebrixUser></nonNebrixUsers></AlertDetail></alertDetails>"
    "</GetAlertDetailForClientResp>";

}  // namespace

int main() {
  EvAlertEx alert;
  alert << "argument" << 42;
  alert.auxText14 = "audit text";
  std::string text;
  if (alert.serializeForAuditTrail(text) != 0) return 1;
  EvAlertEx copy;
  if (copy.unserializeForAuditTrail(text) != 0 || copy.auxText14 != "audit text") return 2;
  if (NTBasicLib::htmlEncode(L"a < b") != L"a &lt; b") return 3;
  tagTIMESTAMP_STRUCT record;
  UlongTimeToDbDatetime(86400L, record, true);
  if (record.year != 1970 || record.day != 2) return 4;

  // The failover alert end to end, in the state directory the caller gives.
  if (getenv("TARNALERT_STATE_DIR") == nullptr) return 5;
  setenv("TARNALERT_CLIENT_NAME", "consumer", 1);
  if (NTAlertProcessClient::UpdateAlertConfig(kConfiguration).IsError()) return 6;
  CountingEnv env;
  tarnalert::Env::Install(&env);
  int sent = EvAlertEx().sendAlert(74, 3, 0);
  tarnalert::Env::Install(nullptr);
  App::EmailInfo request;
  if (sent != 1 || env.requests != 1 || request.unserialize(env.last) != 0 ||
      request.get(App::EmailInfo::subject) != "Alert rule ") {
    return 7;
  }

  // The check and the parse result, and the library's version.
  const tarnalert::ConfigReport report = tarnalert::CheckConfig(kConfiguration);
  if (!report.parse || report.rules.size() != 1 ||
      report.rules[0].skip != tarnalert::RuleSkip::kNone) {
    return 8;
  }
  KTGui::IdName idName;
  const tarnalert::ParseResult parsed = idName.Parse("<IdName>\n<id>x</id></IdName>");
  if (parsed || parsed.where.line != 2 || parsed.Description().empty()) return 9;
  if (std::string(tarnalert::LibraryVersion()) != TARNALERT_VERSION_STRING) return 10;
  std::printf("consumer: linked and ran against the installed tarnalert\n");
  return 0;
}
