#include "platform/event/Catalog.h"

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform/env/NoDestructor.h"
#include "platform/env/Settings.h"
#include "platform/event/DefaultCatalog.h"
#include "platform/files/Directory.h"
#include "platform/files/File.h"
#include "platform/text/Numbers.h"
#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/text/FXString.h"

namespace tarnalert {

namespace {

constexpr const char* kTag = "Env::CatalogText";
// The language of the default catalogue; locale 0 (none given) means it too.
constexpr unsigned long kDefaultLocale = 1033;
// Larger files are refused rather than read into memory.
constexpr size_t kMaxFileSize = 4 << 20;

using Texts = std::unordered_map<unsigned long, std::string>;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Parses the message id at the start of `line` (hexadecimal with 0x, or
// decimal) and advances *at past it. False when there is none or it overflows.
bool ParseId(const std::string& line, size_t* at, unsigned long* id) {
  size_t i = *at;
  const unsigned base = detail::ReadBasePrefix(line, &i, line.size());
  const detail::DigitRun run = detail::ReadDigits(line, i, line.size(), base, ~0UL);
  if (run.end == i || run.overflow) return false;
  *at = run.end;
  *id = run.value;
  return true;
}

// Parses one line that is neither blank nor a comment. On failure returns
// false with the reason in *why.
bool ParseLine(const std::string& line, unsigned long* id, std::string* text, const char** why) {
  size_t at = 0;
  while (at < line.size() && IsBlank(line[at])) ++at;
  if (!ParseId(line, &at, id)) {
    *why = "no message id";
    return false;
  }
  while (at < line.size() && IsBlank(line[at])) ++at;
  if (at >= line.size() || line[at] != '=') {
    *why = "no '=' after the message id";
    return false;
  }
  ++at;
  while (at < line.size() && IsBlank(line[at])) ++at;
  text->clear();
  for (; at < line.size(); ++at) {
    char c = line[at];
    if (c == '\0') {
      *why = "NUL character";
      return false;
    }
    if (c != '\\') {
      text->push_back(c);
      continue;
    }
    if (++at == line.size()) {
      *why = "backslash at the end of the line";
      return false;
    }
    switch (line[at]) {
      case 'n':
        text->push_back('\n');
        break;
      case 'r':
        text->push_back('\r');
        break;
      case 't':
        text->push_back('\t');
        break;
      case 's':
        text->push_back(' ');
        break;
      case '\\':
        text->push_back('\\');
        break;
      default:
        *why = "unknown escape";
        return false;
    }
  }
  if (!FXString::IsValidUtf8(text->data(), text->size())) {
    *why = "invalid UTF-8";
    return false;
  }
  return true;
}

// Reads the whole file `name` of `directory` through the Env in force.
// False (silently) when the directory or the file does not exist; other
// failures are logged.
bool ReadWholeFile(const std::string& directory, const std::string& name, std::string* content) {
  Directory opened;
  CYqError error = Directory::Open(Env::Current(), directory, false, &opened);
  if (error.IsError()) {
    if (error.Code() != -ENOENT) {
      EvDebug().Error(kTag, "Ignoring catalogue directory: %s", error.LastMessage().c_str());
    }
    return false;
  }
  error = ReadFileToString(opened, name, kMaxFileSize, content);
  if (!error.IsError()) return true;
  const std::string path = opened.PathOf(name);
  const int number = -error.Code();
  if (number == EINVAL) {
    EvDebug().Error(kTag, "Ignoring catalogue file %s: not a regular file", path.c_str());
  } else if (number == EFBIG) {
    EvDebug().Error(kTag, "Ignoring catalogue file %s: larger than %zu bytes", path.c_str(),
                    kMaxFileSize);
  } else if (number != ENOENT) {
    EvDebug().Error(kTag, "Couldn't read catalogue file %s: %s", path.c_str(),
                    FXErrorUtil::ErrorText(number).c_str());
  }
  return false;
}

}  // namespace

namespace detail {

std::unordered_map<unsigned long, std::string> ParseCatalogFile(std::string content,
                                                                const std::string& path) {
  Texts texts;
  if (content.compare(0, 3, "\xEF\xBB\xBF") == 0) content.erase(0, 3);  // byte order mark
  size_t number = 0;
  for (size_t start = 0; start < content.size();) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    unsigned long id = 0;
    std::string text;
    const char* why = "";
    if (!ParseLine(line, &id, &text, &why)) {
      EvDebug().Error(kTag, "Skipping line %zu of catalogue file %s: %s", number, path.c_str(),
                      why);
      continue;
    }
    texts[id] = std::move(text);  // a later line for the same id wins
  }
  return texts;
}

}  // namespace detail

namespace {

Texts LoadCatalogFile(const std::string& directory, const std::string& name) {
  std::string content;
  if (!ReadWholeFile(directory, name, &content)) return Texts();
  return detail::ParseCatalogFile(std::move(content), directory + "/" + name);
}

// Loaded catalogue files by (directory, locale); built on first use and kept
// until the process ends.
class FileCache {
 public:
  // The texts of the catalogue file of `locale` in `directory`; empty when
  // there is no such file. Each file is read at most once.
  std::shared_ptr<const Texts> Get(const std::string& directory, unsigned long locale) {
    std::shared_ptr<Slot> slot;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto inDirectory = slots_.find(directory);  // no copy of the name to look it up
      if (inDirectory == slots_.end()) inDirectory = slots_.emplace(directory, Locales()).first;
      std::shared_ptr<Slot>& entry = inDirectory->second[locale];
      if (!entry) entry = std::make_shared<Slot>();
      slot = entry;
    }
    // Read outside the map's lock: reading logs, and other locales need not wait.
    std::call_once(slot->once, [&] {
      slot->texts = std::make_shared<const Texts>(
          LoadCatalogFile(directory, std::to_string(locale) + ".catalog"));
    });
    return slot->texts;
  }

  // The catalogue generation of `directory`, the same for the life of the
  // process: its files are read once and kept.
  uint64_t GenerationOf(const std::string& directory) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = generations_.find(directory);
    if (found == generations_.end()) {
      found = generations_.emplace(directory, Env::NewCatalogGeneration()).first;
    }
    return found->second;
  }

 private:
  struct Slot {
    std::once_flag once;
    std::shared_ptr<const Texts> texts;
  };

  using Locales = std::map<unsigned long, std::shared_ptr<Slot>>;

  std::mutex mutex_;
  std::map<std::string, Locales, std::less<>> slots_;  // by directory, then locale
  std::map<std::string, uint64_t, std::less<>> generations_;
};

FileCache& Files() {
  static NoDestructor<FileCache> cache;  // used until exit
  return *cache;
}

// What the catalogue scopes of this thread keep: the directory worked out
// for an Env, and the texts of the locales looked up in it.
struct ScopeState {
  int depth = 0;
  const Env* env = nullptr;  // the Env `directory` was worked out for; null: none yet
  std::string directory;
  uint64_t generation = 0;  // of `directory`; 0: not asked for yet
  std::map<unsigned long, std::shared_ptr<const Texts>> texts;
};

ScopeState& ThisThreadsScope() {
  thread_local ScopeState state;
  return state;
}

// The open scope of this thread, its directory worked out for the Env in
// force; null when no scope is open.
ScopeState* OpenScope() {
  ScopeState& scope = ThisThreadsScope();
  if (scope.depth == 0) return nullptr;
  const Env* env = Env::Current();
  if (scope.env != env) {
    scope.directory = detail::CatalogDirectory();
    scope.env = env;
    scope.generation = 0;
    scope.texts.clear();
  }
  return &scope;
}

// The texts of the catalogue file of `locale`, through the scope when one is
// open; outside a scope *held keeps them alive.
const Texts& TextsOf(unsigned long locale, std::shared_ptr<const Texts>* held) {
  ScopeState* open = OpenScope();
  if (open == nullptr) {
    *held = Files().Get(detail::CatalogDirectory(), locale);
    return **held;
  }
  ScopeState& scope = *open;
  std::shared_ptr<const Texts>& texts = scope.texts[locale];
  if (texts == nullptr) texts = Files().Get(scope.directory, locale);
  return *texts;
}

}  // namespace

namespace detail {

CatalogScope::CatalogScope() { ++ThisThreadsScope().depth; }

CatalogScope::~CatalogScope() {
  ScopeState& scope = ThisThreadsScope();
  if (--scope.depth > 0) return;
  scope.env = nullptr;
  scope.directory.clear();
  scope.generation = 0;
  scope.texts.clear();
}

uint64_t CatalogGeneration() {
  ScopeState* scope = OpenScope();
  if (scope == nullptr) return Files().GenerationOf(CatalogDirectory());
  if (scope->generation == 0) scope->generation = Files().GenerationOf(scope->directory);
  return scope->generation;
}

bool LookUpCatalog(unsigned long messageId, unsigned long localeId, std::string* text) {
  if (text == nullptr) return false;
  unsigned long locale = localeId == 0 ? kDefaultLocale : localeId;
  std::shared_ptr<const Texts> held;
  const Texts& texts = TextsOf(locale, &held);
  auto found = texts.find(messageId);
  if (found != texts.end()) {
    *text = found->second;
    return true;
  }
  const char* fallback = DefaultCatalogText(messageId);
  if (fallback == nullptr) return false;
  *text = fallback;
  return true;
}

}  // namespace detail
}  // namespace tarnalert
