// The plain-text alternative of an HTML mail body: what a reader without
// HTML should see. Tags are dropped; <br> and the ends of blocks (paragraphs,
// list items, rows, headings, ...) become line breaks; character references
// are decoded; a link keeps its address as text after its words; the
// contents of <head>, <script> and <style> are left out.
#ifndef TARNALERT_DELIVERY_HTMLTEXT_H_
#define TARNALERT_DELIVERY_HTMLTEXT_H_

#include <string>

namespace tarnalert {
namespace detail {

// The text of the UTF-8 HTML `html`, lines ended by '\n'. Never fails: a
// malformed tag or reference is taken as far as it reads.
std::string HtmlToText(const std::string& html);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_DELIVERY_HTMLTEXT_H_
