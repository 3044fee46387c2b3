// Fuzz target: the criteria text of a rule, its <placeholders> filled with
// the rule's parameter values.
//
// The first byte gives the number of parameter values (0 to 7), each taken
// from the next four bytes; the rest is the criteria text as a catalogue
// would hold it. Filling must end, and each value replaces one placeholder
// of at least two characters by at most eleven digits and a sign.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tarnalert/alert/EvAlertEx.h"
#include "tarnalert/alertclient/EvAlertProcessClient.h"
#include "tarnalert/platform/env/Env.h"

namespace {

constexpr unsigned long kCriteriaTextId = 0x4a400001;

// Serves the criteria text being fuzzed; everything else is the real Env.
class CriteriaEnv : public tarnalert::EnvWrapper {
 public:
  CriteriaEnv() : EnvWrapper(tarnalert::Env::Default()) {}
  bool CatalogText(unsigned long id, unsigned long locale, std::string* text) override {
    if (id != kCriteriaTextId) return target()->CatalogText(id, locale, text);
    *text = criteria;
    return true;
  }
  int LogLevel() override { return 0; }
  void WriteLogLine(const std::string&) override {}
  std::string criteria;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t count = data[0] % 8;
  if (size < 1 + 4 * count) return 0;
  CriteriaEnv env;
  tarnalert::ScopedEnv scoped(&env);
  env.criteria.assign(reinterpret_cast<const char*>(data) + 1 + 4 * count, size - 1 - 4 * count);

  KTGui::AlertDetail rule;
  KTGui::AlertCriteria criteria;
  criteria.set(KTGui::AlertCriteria::criteriaId, 3);
  auto& params = criteria.list(KTGui::AlertCriteria::params);
  for (size_t i = 0; i < count; ++i) {
    uint32_t value;
    std::memcpy(&value, data + 1 + 4 * i, sizeof value);
    params.emplace_back(KTGui::AlertCriteriaParam())
        .set(KTGui::AlertCriteriaParam::value, static_cast<int64_t>(value));
  }
  rule.list(KTGui::AlertDetail::criteria).push_back(criteria);

  EvAlertEx alert;
  NTAlertProcessClient client(74, 3, 0, alert);
  NTNotifRuleDetectedAlertProcessing processing(rule, client);
  const std::wstring text = processing.FormatAlertCriteria(static_cast<int>(kCriteriaTextId));
  // The catalogue text is cut to 2047 bytes, so at most 2047 characters.
  if (text.size() > 2047 + count * 9) std::abort();
  return 0;
}
