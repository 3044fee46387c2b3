// Catalogue texts as the notification steps fetch them (detail/CatalogTexts.h).
#include "alertclient/detail/CatalogTexts.h"

#include <cstdint>
#include <unordered_map>

#include "tarnalert/platform/env/Env.h"
#include "tarnalert/platform/event/EvEvent.h"
#include "tarnalert/platform/text/FXString.h"

namespace tarnalert {
namespace detail {

namespace {

struct Fetched {
  std::string narrow;
  std::wstring wide;
};

// What one look-up asked for.
struct Request {
  unsigned long messageId;
  unsigned long size;
  unsigned long localeId;
  bool operator==(const Request& other) const {
    return messageId == other.messageId && size == other.size && localeId == other.localeId;
  }
};

struct RequestHash {
  size_t operator()(const Request& r) const {
    return std::hash<unsigned long>()(r.messageId * 31 + r.localeId) ^ r.size;
  }
};

// The texts this thread fetched from the catalogue of one generation.
class FetchedTexts {
 public:
  static FetchedTexts& ThisThreads() {
    thread_local FetchedTexts texts;
    return texts;
  }

  // The text asked for: kept from an earlier look-up while the catalogue's
  // generation is the one it came with, else rendered now.
  const Fetched& Get(const Request& request) {
    const uint64_t generation = Env::Current()->CatalogGeneration();
    if (generation == 0) return Render(request, &fresh_);
    if (generation != generation_ || texts_.size() >= kCapacity) {
      texts_.clear();
      generation_ = generation;
    }
    auto found = texts_.find(request);
    if (found != texts_.end()) return found->second;
    Render(request, &fresh_);
    // An empty text (an unknown id) is asked for again next time.
    if (fresh_.narrow.empty()) return fresh_;
    return texts_.emplace(request, fresh_).first->second;
  }

 private:
  // Texts kept at most; more start the memo afresh.
  static constexpr size_t kCapacity = 4096;

  static const Fetched& Render(const Request& request, Fetched* out) {
    // evPrintf always ends the text it writes, so only the first byte needs
    // clearing for nothing of an earlier look-up to carry over.
    char buffer[2048];
    buffer[0] = '\0';
    EvEvent().evPrintf(request.messageId, buffer,
                       request.size < sizeof buffer ? request.size : sizeof buffer,
                       request.localeId);
    out->narrow = buffer;
    out->wide = FXString::ToWstring(out->narrow);
    return *out;
  }

  uint64_t generation_ = 0;
  std::unordered_map<Request, Fetched, RequestHash> texts_;
  Fetched fresh_;  // the last text rendered and not kept
};

}  // namespace

std::wstring FetchCatalogText(unsigned long messageId, unsigned long size, unsigned long localeId) {
  return FetchedTexts::ThisThreads().Get({messageId, size, localeId}).wide;
}

std::string FetchCatalogNarrow(unsigned long messageId, unsigned long size,
                               unsigned long localeId) {
  return FetchedTexts::ThisThreads().Get({messageId, size, localeId}).narrow;
}

void TrimTrailingBlanks(std::wstring& text) {
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == L' ' || text[end - 1] == L'\n' || text[end - 1] == L'\r' ||
                     text[end - 1] == L'\t')) {
    --end;
  }
  text.erase(end);
}

std::wstring FetchTokenText(int tokenId, unsigned long localeId) {
  std::wstring text = FetchCatalogText(static_cast<unsigned long>(tokenId), 2048, localeId);
  TrimTrailingBlanks(text);
  return text;
}

}  // namespace detail
}  // namespace tarnalert
