// `tarnalert audit encode | decode`: between the members of an alert that
// travel in the audit trail and the audit-trail XML text.
#include <iostream>
#include <memory>
#include <string>

#include "Commands.h"
#include "ToolText.h"

namespace tarnalert_tool {

namespace {

// The audit-trail members, in the order of the text form, with the option
// that sets each.
struct AuditFields {
  int32_t auxNumber1 = 0;
  int32_t alertType = 0;
  int32_t criteria = 0;
  int32_t status = 0;
  int64_t auxNumber6 = 0;
  int64_t auxNumber7 = 0;
  int64_t auxNumber8 = 0;
  int64_t auxNumber9 = 0;
  int64_t auxNumber10 = 0;
  int64_t auxNumber11 = 0;
  int64_t auxNumber12 = 0;
  int64_t auxNumber13 = 0;
  std::string auxText14;
  std::string auxText15;
  std::string auxText16;
  int32_t auxNumber17 = 0;
  int32_t defaultStatus = 0;
};

int RunEncode(const AuditFields& fields) {
  EvAlertEx alert;
  alert.auxNumber1 = fields.auxNumber1;
  alert.alertType = fields.alertType;
  alert.criteria = fields.criteria;
  alert.status = fields.status;
  alert.auxNumber6 = fields.auxNumber6;
  alert.auxNumber7 = fields.auxNumber7;
  alert.auxNumber8 = fields.auxNumber8;
  alert.auxNumber9 = fields.auxNumber9;
  alert.auxNumber10 = fields.auxNumber10;
  alert.auxNumber11 = fields.auxNumber11;
  alert.auxNumber12 = fields.auxNumber12;
  alert.auxNumber13 = fields.auxNumber13;
  alert.auxText14 = fields.auxText14;
  alert.auxText15 = fields.auxText15;
  alert.auxText16 = fields.auxText16;
  alert.auxNumber17 = fields.auxNumber17;
  alert.defaultStatus = fields.defaultStatus;
  std::string text;
  if (const int result = alert.serializeForAuditTrail(text); result != 0) {
    PrintError("audit encode",
               "the alert could not be written (code " + std::to_string(result) + ")");
    return kFailed;
  }
  std::cout << text;
  if (text.empty() || text.back() != '\n') std::cout << "\n";
  return kSuccess;
}

int RunDecode(const std::string& file) {
  std::string text, error;
  if (!ReadInput(file, &text, &error)) {
    PrintError("audit decode", error);
    return kFailed;
  }
  // The reader's verdict first, so that a refused text is explained.
  const tarnalert::ParseResult parsed = App::EvAlertExMessage().Parse(text);
  if (!parsed) {
    PrintError("audit decode", (file == "-" ? std::string("standard input") : file) +
                                   " is not an audit-trail text: " + parsed.Description());
    return kFailed;
  }
  EvAlertEx alert;
  if (const int result = alert.unserializeForAuditTrail(text); result != 0) {
    PrintError("audit decode",
               "the audit-trail text was refused (code " + std::to_string(result) + ")");
    return kFailed;
  }
  std::cout << "auxNumber1 = " << alert.auxNumber1 << "\n"
            << "alertType = " << alert.alertType << "\n"
            << "criteria = " << alert.criteria << "\n"
            << "status = " << alert.status << "\n"
            << "auxNumber6 = " << alert.auxNumber6 << "\n"
            << "auxNumber7 = " << alert.auxNumber7 << "\n"
            << "auxNumber8 = " << alert.auxNumber8 << "\n"
            << "auxNumber9 = " << alert.auxNumber9 << "\n"
            << "auxNumber10 = " << alert.auxNumber10 << "\n"
            << "auxNumber11 = " << alert.auxNumber11 << "\n"
            << "auxNumber12 = " << alert.auxNumber12 << "\n"
            << "auxNumber13 = " << alert.auxNumber13 << "\n"
            << "auxText14 = " << OneLine(alert.auxText14) << "\n"
            << "auxText15 = " << OneLine(alert.auxText15) << "\n"
            << "auxText16 = " << OneLine(alert.auxText16) << "\n"
            << "auxNumber17 = " << alert.auxNumber17 << "\n"
            << "defaultStatus = " << alert.defaultStatus << "\n";
  return kSuccess;
}

}  // namespace

void AddAuditCommand(CLI::App& app, Action& action) {
  CLI::App* audit =
      app.add_subcommand("audit", "Convert between an alert's fields and its audit-trail XML");
  audit->require_subcommand(1);

  auto fields = std::make_shared<AuditFields>();
  CLI::App* encode = audit->add_subcommand(
      "encode",
      "Print the audit-trail XML of an alert with the given fields (the others are 0 "
      "or empty)");
  AddNumberOption(encode, "--type", fields->alertType, "alertType", 0);
  AddNumberOption(encode, "--criteria", fields->criteria, "criteria", 0);
  AddNumberOption(encode, "--status", fields->status, "status");
  AddNumberOption(encode, "--aux-number1", fields->auxNumber1, "auxNumber1 (32-bit)");
  AddNumberOption(encode, "--aux-number6", fields->auxNumber6, "auxNumber6");
  AddNumberOption(encode, "--aux-number7", fields->auxNumber7, "auxNumber7");
  AddNumberOption(encode, "--aux-number8", fields->auxNumber8, "auxNumber8");
  AddNumberOption(encode, "--aux-number9", fields->auxNumber9, "auxNumber9");
  AddNumberOption(encode, "--aux-number10", fields->auxNumber10, "auxNumber10");
  AddNumberOption(encode, "--aux-number11", fields->auxNumber11, "auxNumber11");
  AddNumberOption(encode, "--aux-number12", fields->auxNumber12, "auxNumber12");
  AddNumberOption(encode, "--aux-number13", fields->auxNumber13, "auxNumber13");
  encode->add_option("--aux-text14", fields->auxText14, "auxText14");
  encode->add_option("--aux-text15", fields->auxText15, "auxText15");
  encode->add_option("--aux-text16", fields->auxText16, "auxText16");
  AddNumberOption(encode, "--aux-number17", fields->auxNumber17, "auxNumber17 (32-bit)");
  AddNumberOption(encode, "--default-status", fields->defaultStatus, "defaultStatus (32-bit)");
  encode->footer(
      "Exit codes: 0 printed, 1 the text could not be written, 2 bad usage (a number "
      "that is not one or does not fit its field).");
  encode->callback([fields, &action] { action = [fields] { return RunEncode(*fields); }; });

  auto file = std::make_shared<std::string>("-");
  CLI::App* decode =
      audit->add_subcommand("decode",
                            "Read an audit-trail XML text and print its fields, one per line as "
                            "name = value (texts with \\, line breaks and tabs escaped)");
  decode->add_option("FILE", *file, "The audit-trail text; - or nothing reads standard input");
  decode->footer(
      "Exit codes: 0 printed, 1 the file cannot be read or is not an audit-trail text, "
      "2 bad usage.");
  decode->callback([file, &action] { action = [file] { return RunDecode(*file); }; });
}

}  // namespace tarnalert_tool
