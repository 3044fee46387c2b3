// TestEnv: an Env for tests. It answers settings from a map (falling back to
// an empty value, never to the process environment), serves catalogue texts
// set by the test before the real catalogue, captures log lines in memory,
// sets the log verbosity and can pin the clock. Install it for the life of a test with
// ScopedEnv (Env.h); everything else forwards to the real Env.
#ifndef TARNALERT_PLATFORM_TESTING_TESTENV_H_
#define TARNALERT_PLATFORM_TESTING_TESTENV_H_

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "tarnalert/platform/env/Env.h"

namespace tarnalert {
namespace test {

class TestEnv : public EnvWrapper {
 public:
  // Settings start with a private state directory under the test's temporary
  // directory, so no test touches the user's files.
  TestEnv();
  ~TestEnv() override;

  void SetSetting(const std::string& name, const std::string& value);
  void SetCatalogText(unsigned long messageId, const std::string& text);
  void RemoveCatalogText(unsigned long messageId);  // the id becomes unknown
  void SetLogLevel(int level) { log_level_ = level; }
  // Makes the clock stand at `micros` (microseconds since 1970); 0 lets it
  // run again.
  void PinTime(uint64_t micros) { pinned_micros_ = micros; }

  // Lines captured so far, each without its trailing newline.
  std::vector<std::string> LogLines() const;
  // Captured lines with the timestamp, process and thread prefix removed:
  // "<SEVERITY> <level> <tag>: <message>".
  std::vector<std::string> LogMessages() const;
  // Number of captured lines that contain `text`.
  size_t CountLogLines(const std::string& text) const;
  void ClearLog();

  // A directory made for this TestEnv and removed with it.
  const std::string& scratch_directory() const { return scratch_; }

  std::string GetSetting(const std::string& name) override;
  bool CatalogText(unsigned long messageId, unsigned long localeId, std::string* text) override;
  // A new generation after every change of a text or a setting (settings
  // choose the real catalogue's directory), and when the real one's changes.
  uint64_t CatalogGeneration() override;
  int LogLevel() override { return log_level_; }
  uint64_t NowMicros() override {
    const uint64_t pinned = pinned_micros_;
    return pinned != 0 ? pinned : target()->NowMicros();
  }
  void WriteLogLine(const std::string& line) override;

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> settings_;
  std::map<unsigned long, std::string> catalog_;
  std::map<unsigned long, bool> removed_;
  uint64_t generation_ = NewCatalogGeneration();
  uint64_t target_generation_ = 0;  // the real catalogue's when generation_ was taken
  std::vector<std::string> lines_;
  int log_level_ = 100;
  std::atomic<uint64_t> pinned_micros_{0};
  std::string scratch_;
};

}  // namespace test
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_TESTING_TESTENV_H_
