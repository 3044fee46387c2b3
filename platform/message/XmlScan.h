// Lexical checks of a message document that the XML parser does not make, and
// the byte range of an element in its source text.
//
// ScanDocument runs before the parser builds a tree, in one pass without
// recursion, so that a hostile document (deeply nested, with undefined
// entities, stray text or control characters) is rejected early and cheaply.
#ifndef TARNALERT_PLATFORM_MESSAGE_XMLSCAN_H_
#define TARNALERT_PLATFORM_MESSAGE_XMLSCAN_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/message/XmlStatus.h"

namespace tarnalert {
namespace detail {

// Checks, in this order: size (at most kXmlMaxDocumentSize), well-formed
// UTF-8, no control character other than tab, line feed and carriage return
// (NUL included) and no U+FFFE or U+FFFF, and then in one pass: references are the five predefined
// entities or character references to characters XML may hold, no document
// type declaration, exactly one document element with nothing but blanks,
// comments and processing instructions around it, and elements nested at most
// kXmlMaxDepth deep. The first problem found is returned.
XmlError ScanDocument(const char* text, size_t size);

// True when every byte of `text` is well-formed UTF-8 of characters XML
// allows (no control character but tab, line feed and carriage return, no
// U+FFFE or U+FFFF): the first checks of ScanDocument, in one pass.
bool BytesAreClean(const char* text, size_t size);

// Length of the reference that starts at text[at] ('&'), or 0 when it is not
// one of the five predefined entities or a character reference to a
// character XML 1.0 allows; ScanDocument rejects what gives 0.
size_t ReferenceLength(std::string_view text, size_t at);
// As ReferenceLength, and on success sets `*code` to the character the
// reference stands for.
size_t ReadReference(std::string_view text, size_t at, uint32_t* code);

// One past the end of the element whose start tag begins at text[start] ('<'),
// in a document that ScanDocument and the parser accepted; `size` when the
// end is not found.
size_t FindElementEnd(const char* text, size_t size, size_t start);

}  // namespace detail
}  // namespace tarnalert

#endif  // TARNALERT_PLATFORM_MESSAGE_XMLSCAN_H_
