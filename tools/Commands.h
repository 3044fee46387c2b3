// The subcommands of the tarnalert tool. Each Add* function registers one
// subcommand on the application; its callback sets `exitCode` (0 success,
// 1 the operation failed; bad usage is 2 and handled by main).
#ifndef TARNALERT_TOOLS_COMMANDS_H_
#define TARNALERT_TOOLS_COMMANDS_H_

#include <CLI/CLI.hpp>

namespace tarnalert_tool {

enum ExitCode { kSuccess = 0, kFailed = 1, kBadUsage = 2 };

void AddDemoCommand(CLI::App& app, int& exitCode);
void AddSendCommand(CLI::App& app, int& exitCode);
void AddConfigCommand(CLI::App& app, int& exitCode);
void AddRenderCommand(CLI::App& app, int& exitCode);
void AddAuditCommand(CLI::App& app, int& exitCode);
void AddMailCommand(CLI::App& app, int& exitCode);
void AddOutboxCommand(CLI::App& app, int& exitCode);
void AddSpoolCommand(CLI::App& app, int& exitCode);

}  // namespace tarnalert_tool

#endif  // TARNALERT_TOOLS_COMMANDS_H_
