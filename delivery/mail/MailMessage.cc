#include "delivery/mail/MailMessage.h"

#include <gmime/gmime.h>

#include <memory>

#include "delivery/mail/HtmlText.h"

namespace tarnalert {
namespace detail {

namespace {

// --- Owning wrappers of GMime and GLib objects -------------------------------

struct ObjectUnref {
  void operator()(void* object) const { g_object_unref(object); }
};
// Owns one reference of a GObject.
template <typename T>
using ObjectPtr = std::unique_ptr<T, ObjectUnref>;

struct FreeText {
  void operator()(char* text) const { g_free(text); }
};
using TextPtr = std::unique_ptr<char, FreeText>;

struct FreeFormatOptions {
  void operator()(GMimeFormatOptions* options) const { g_mime_format_options_free(options); }
};
using FormatOptionsPtr = std::unique_ptr<GMimeFormatOptions, FreeFormatOptions>;

struct DateTimeUnref {
  void operator()(GDateTime* date) const { g_date_time_unref(date); }
};
using DateTimePtr = std::unique_ptr<GDateTime, DateTimeUnref>;

// GMime keeps process-wide tables (charsets, parser state); they are made
// once and live until the process ends.
void SetUpGMime() {
  static const bool done = [] {
    g_mime_init();
    return true;
  }();
  (void)done;
}

// --- Building --------------------------------------------------------------------

// Line ends of the body as '\n' only; the writer makes them CRLF.
std::string UnixLines(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// A UTF-8 text part, quoted-printable so that no line exceeds the limit
// whatever the body holds.
ObjectPtr<GMimeTextPart> TextPart(const char* subtype, const std::string& text) {
  // The bytes go in as they are: setting the text instead would convert it
  // to the smallest charset that fits.
  const std::string lines = UnixLines(text);
  ObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(lines.data(), lines.size()));
  ObjectPtr<GMimeDataWrapper> content(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  ObjectPtr<GMimeTextPart> part(g_mime_text_part_new_with_subtype(subtype));
  g_mime_part_set_content(GMIME_PART(part.get()), content.get());
  g_mime_text_part_set_charset(part.get(), "utf-8");
  g_mime_part_set_content_encoding(GMIME_PART(part.get()), GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
  return part;
}

void AddAddress(GMimeMessage* message, GMimeAddressType type, const MailAddress& address) {
  const char* name = address.displayName.empty() ? nullptr : address.displayName.c_str();
  ObjectPtr<InternetAddress> mailbox(internet_address_mailbox_new(name, address.address.c_str()));
  internet_address_set_charset(mailbox.get(), "utf-8");
  internet_address_list_add(g_mime_message_get_addresses(message, type), mailbox.get());
}

}  // namespace

bool BuildMailMessage(const MailContent& content, std::string* message, std::string* messageId) {
  SetUpGMime();
  ObjectPtr<GMimeMessage> mail(g_mime_message_new(TRUE));

  AddAddress(mail.get(), GMIME_ADDRESS_TYPE_FROM, content.from);
  for (const MailAddress& to : content.to) AddAddress(mail.get(), GMIME_ADDRESS_TYPE_TO, to);
  for (const MailAddress& cc : content.cc) AddAddress(mail.get(), GMIME_ADDRESS_TYPE_CC, cc);
  g_mime_message_set_subject(mail.get(), content.subject.c_str(), "utf-8");

  DateTimePtr date(g_date_time_new_from_unix_local(static_cast<gint64>(content.date)));
  if (date) g_mime_message_set_date(mail.get(), date.get());
  TextPtr id(g_mime_utils_generate_message_id(content.hostName.c_str()));
  g_mime_message_set_message_id(mail.get(), id.get());

  GMimeObject* object = GMIME_OBJECT(mail.get());
  // Automatic mail: auto-responders and vacation replies stay quiet.
  g_mime_object_set_header(object, "Auto-Submitted", "auto-generated", nullptr);
  if (content.highImportance) g_mime_object_set_header(object, "Importance", "high", nullptr);

  if (content.html) {
    ObjectPtr<GMimeMultipart> alternative(g_mime_multipart_new_with_subtype("alternative"));
    ObjectPtr<GMimeTextPart> plain = TextPart("plain", HtmlToText(content.body));
    ObjectPtr<GMimeTextPart> html = TextPart("html", content.body);
    g_mime_multipart_add(alternative.get(), GMIME_OBJECT(plain.get()));
    g_mime_multipart_add(alternative.get(), GMIME_OBJECT(html.get()));
    g_mime_message_set_mime_part(mail.get(), GMIME_OBJECT(alternative.get()));
  } else {
    ObjectPtr<GMimeTextPart> plain = TextPart("plain", content.body);
    g_mime_message_set_mime_part(mail.get(), GMIME_OBJECT(plain.get()));
  }

  FormatOptionsPtr options(g_mime_format_options_new());
  g_mime_format_options_set_newline_format(options.get(), GMIME_NEWLINE_FORMAT_DOS);
  TextPtr text(g_mime_object_to_string(object, options.get()));
  if (!text) return false;
  *message = text.get();
  *messageId = id.get();
  return true;
}

}  // namespace detail
}  // namespace tarnalert
