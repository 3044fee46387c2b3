#include "delivery/mail/HtmlText.h"

#include <cstdint>
#include <cstring>

namespace tarnalert {
namespace detail {

namespace {

// Elements whose end, and start, break the line.
const char* const kBlockElements[] = {
    "address", "article", "blockquote", "body",  "dd",    "div", "dl", "dt", "fieldset",
    "figure",  "footer",  "form",       "h1",    "h2",    "h3",  "h4", "h5", "h6",
    "header",  "hr",      "html",       "li",    "main",  "nav", "ol", "p",  "pre",
    "section", "table",   "tbody",      "tfoot", "thead", "tr",  "ul"};
// Elements whose contents are not shown.
const char* const kHiddenElements[] = {"head", "script", "style", "title", "template"};

struct NamedReference {
  const char* name;
  uint32_t codePoint;
};
const NamedReference kNamedReferences[] = {
    {"amp", '&'},      {"lt", '<'},        {"gt", '>'},     {"quot", '"'},     {"apos", '\''},
    {"nbsp", 0xA0},    {"copy", 0xA9},     {"reg", 0xAE},   {"trade", 0x2122}, {"ndash", 0x2013},
    {"mdash", 0x2014}, {"hellip", 0x2026}, {"laquo", 0xAB}, {"raquo", 0xBB},   {"euro", 0x20AC},
    {"bull", 0x2022},  {"middot", 0xB7},   {"deg", 0xB0},   {"lsquo", 0x2018}, {"rsquo", 0x2019},
    {"ldquo", 0x201C}, {"rdquo", 0x201D}};

bool IsOneOf(const std::string& name, const char* const* names, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (name == names[i]) return true;
  }
  return false;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

void AppendUtf8(std::string& out, uint32_t code) {
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// Decodes the character reference at html[at] ('&'). Returns the position
// after it, or `at` when no known reference starts there.
size_t DecodeReference(const std::string& html, size_t at, std::string& out) {
  const size_t semicolon = html.find(';', at);
  if (semicolon == std::string::npos || semicolon - at > 12) return at;
  const std::string name = html.substr(at + 1, semicolon - at - 1);
  if (name.size() > 1 && name[0] == '#') {
    const bool hex = name[1] == 'x' || name[1] == 'X';
    const char* digits = name.c_str() + (hex ? 2 : 1);
    if (*digits == '\0') return at;
    uint32_t code = 0;
    for (const char* p = digits; *p; ++p) {
      int digit;
      if (*p >= '0' && *p <= '9') {
        digit = *p - '0';
      } else if (hex && Lower(*p) >= 'a' && Lower(*p) <= 'f') {
        digit = Lower(*p) - 'a' + 10;
      } else {
        return at;
      }
      code = code * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
      if (code > 0x10FFFF) code = 0x110000;  // stays out of range
    }
    AppendUtf8(out, code);
    return semicolon + 1;
  }
  for (const NamedReference& reference : kNamedReferences) {
    if (name == reference.name) {
      // A no-break space reads as a plain one in text.
      AppendUtf8(out, reference.codePoint == 0xA0 ? ' ' : reference.codePoint);
      return semicolon + 1;
    }
  }
  return at;
}

struct Tag {
  std::string name;  // lower case
  bool closing = false;
  std::string href;  // of <a>
};

// The value of attribute `wanted` in the tag text `inside` (between '<' and
// '>'), with references decoded.
std::string Attribute(const std::string& inside, const char* wanted) {
  size_t at = 0;
  while (at < inside.size() && !IsSpace(inside[at])) ++at;  // the tag name
  while (at < inside.size()) {
    while (at < inside.size() && (IsSpace(inside[at]) || inside[at] == '/')) ++at;
    size_t name_start = at;
    while (at < inside.size() && !IsSpace(inside[at]) && inside[at] != '=' && inside[at] != '/') {
      ++at;
    }
    std::string name;
    for (size_t i = name_start; i < at; ++i) name += Lower(inside[i]);
    while (at < inside.size() && IsSpace(inside[at])) ++at;
    std::string value;
    if (at < inside.size() && inside[at] == '=') {
      ++at;
      while (at < inside.size() && IsSpace(inside[at])) ++at;
      size_t end;
      if (at < inside.size() && (inside[at] == '"' || inside[at] == '\'')) {
        end = inside.find(inside[at], at + 1);
        if (end == std::string::npos) end = inside.size();
        value = inside.substr(at + 1, end - at - 1);
        at = end + 1;
      } else {
        end = at;
        while (end < inside.size() && !IsSpace(inside[end])) ++end;
        value = inside.substr(at, end - at);
        at = end;
      }
    }
    if (name == wanted) {
      std::string decoded;
      for (size_t i = 0; i < value.size(); ++i) {
        size_t next = value[i] == '&' ? DecodeReference(value, i, decoded) : i;
        if (next == i) {
          decoded += value[i];
        } else {
          i = next - 1;
        }
      }
      return decoded;
    }
    if (name.empty()) ++at;
  }
  return "";
}

// Collects text with HTML's white-space rule: runs of blanks become one
// space, and no line starts or ends with one.
class TextBuilder {
 public:
  void Text(const std::string& text, bool preformatted) {
    for (char c : text) {
      if (preformatted) {
        if (c == '\r') continue;
        if (c == '\n') {
          LineBreak();
        } else {
          out_ += c;
        }
        continue;
      }
      if (IsSpace(c)) {
        pending_space_ = true;
        continue;
      }
      if (pending_space_ && !out_.empty() && out_.back() != '\n') out_ += ' ';
      pending_space_ = false;
      out_ += c;
    }
  }
  void LineBreak() {
    out_ += '\n';
    pending_space_ = false;
  }
  // Starts a new line unless at the start of one.
  void EndLine() {
    if (!out_.empty() && out_.back() != '\n') out_ += '\n';
    pending_space_ = false;
  }
  size_t size() const { return out_.size(); }
  std::string TextSince(size_t at) const { return out_.substr(at); }

  // The text with at most one blank line in a row and none at either end.
  std::string Finish() {
    std::string result;
    size_t newlines = 0;
    for (char c : out_) {
      if (c == '\n') {
        while (!result.empty() && result.back() == ' ') result.pop_back();
        ++newlines;
        continue;
      }
      if (newlines > 0 && !result.empty()) result.append(newlines > 1 ? 2 : 1, '\n');
      newlines = 0;
      result += c;
    }
    while (!result.empty() && result.back() == ' ') result.pop_back();
    if (!result.empty()) result += '\n';
    return result;
  }

 private:
  std::string out_;
  bool pending_space_ = false;
};

}  // namespace

std::string HtmlToText(const std::string& html) {
  TextBuilder text;
  std::string hidden;  // the hidden element being skipped, if any
  int preformatted = 0;
  std::string href;
  size_t link_start = 0;
  std::string run;  // text between tags, decoded
  auto flush = [&] {
    text.Text(run, preformatted > 0);
    run.clear();
  };

  std::string lower(html);
  for (char& c : lower) c = Lower(c);

  size_t at = 0;
  while (at < html.size()) {
    if (!hidden.empty()) {
      // Hidden contents (scripts above all) may hold any '<'; skip to the end tag.
      const size_t end = lower.find("</" + hidden, at);
      at = end == std::string::npos ? html.size() : end;
      hidden.clear();
      if (at == html.size()) break;
    }
    const char c = html[at];
    if (c == '&') {
      size_t next = DecodeReference(html, at, run);
      if (next != at) {
        at = next;
        continue;
      }
      run += c;
      ++at;
      continue;
    }
    if (c != '<') {
      run += c;
      ++at;
      continue;
    }
    if (html.compare(at, 4, "<!--") == 0) {
      size_t end = html.find("-->", at + 4);
      at = end == std::string::npos ? html.size() : end + 3;
      continue;
    }
    const bool letter =
        at + 1 < html.size() && ((Lower(html[at + 1]) >= 'a' && Lower(html[at + 1]) <= 'z') ||
                                 html[at + 1] == '/' || html[at + 1] == '!' || html[at + 1] == '?');
    if (!letter) {  // a lone '<' is text
      run += c;
      ++at;
      continue;
    }
    // Find the end of the tag, stepping over quoted attribute values.
    size_t end = at + 1;
    char quote = 0;
    while (end < html.size() && (quote != 0 || html[end] != '>')) {
      if (quote == 0 && (html[end] == '"' || html[end] == '\'')) {
        quote = html[end];
      } else if (quote != 0 && html[end] == quote) {
        quote = 0;
      }
      ++end;
    }
    const std::string inside = html.substr(at + 1, end - at - 1);
    at = end < html.size() ? end + 1 : html.size();
    flush();

    Tag tag;
    size_t name_at = 0;
    if (!inside.empty() && inside[0] == '/') {
      tag.closing = true;
      name_at = 1;
    }
    while (name_at < inside.size() && !IsSpace(inside[name_at]) && inside[name_at] != '/') {
      tag.name += Lower(inside[name_at++]);
    }
    if (!tag.closing &&
        IsOneOf(tag.name, kHiddenElements, sizeof kHiddenElements / sizeof *kHiddenElements)) {
      const bool self_closed = !inside.empty() && inside.back() == '/';
      if (!self_closed) hidden = tag.name;
      continue;
    }
    if (tag.name == "br") {
      text.LineBreak();
    } else if (tag.name == "td" || tag.name == "th") {
      if (!tag.closing) text.Text(" ", false);
    } else if (tag.name == "a") {
      if (!tag.closing) {
        href = Attribute(inside, "href");
        link_start = text.size();
      } else if (!href.empty()) {
        // The address follows the words unless they already are it.
        std::string words = text.TextSince(link_start);
        if (words.find(href) == std::string::npos &&
            !(href.compare(0, 7, "mailto:") == 0 &&
              words.find(href.substr(7)) != std::string::npos)) {
          text.Text(" <" + href + ">", false);
        }
        href.clear();
      }
    } else if (IsOneOf(tag.name, kBlockElements, sizeof kBlockElements / sizeof *kBlockElements)) {
      text.EndLine();
      if (tag.name == "pre") preformatted += tag.closing ? (preformatted > 0 ? -1 : 0) : 1;
      const bool spaced =
          tag.name == "p" || tag.name == "table" || tag.name == "ul" || tag.name == "ol" ||
          (tag.name.size() == 2 && tag.name[0] == 'h' && tag.name[1] >= '1' && tag.name[1] <= '6');
      if (tag.closing && spaced) text.LineBreak();
    }
  }
  flush();
  return text.Finish();
}

}  // namespace detail
}  // namespace tarnalert
