#include "platform/message/XmlWriter.h"

#include <charconv>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/message/MessageFields.h"
#include "platform/message/MessageRegistry.h"
#include "platform/message/XmlText.h"

namespace tarnalert {
namespace detail {
namespace {

class Writer {
 public:
  Writer(bool compact, std::string* out) : compact_(compact), out_(*out) {}

  XmlStatus status() const { return status_; }
  const std::string& problem() const { return problem_; }

  // <name> with the fields of `message` (of class `cls`) </name>.
  void WriteElement(const HqMessageBase& message, const ClassInfo& cls, const char* name,
                    int depth) {
    const MessageFields* fields = FieldValue::Of(message);
    if (fields == nullptr || !fields->HoldsValue()) {
      WriteEmpty(name, depth);
      return;
    }
    OpenLine(name, depth);
    WriteFields(*fields, cls, depth + 1);
    CloseLine(name, depth);
  }

 private:
  void Note(XmlStatus status, std::string problem) {
    if (status_ != kXmlOk) return;
    status_ = status;
    problem_ = std::move(problem);
  }

  void Indent(int depth) {
    if (!compact_) out_.append(static_cast<size_t>(depth) * 2, ' ');
  }
  void EndLine() {
    if (!compact_) out_.push_back('\n');
  }
  void StartTag(const char* name) {
    out_.push_back('<');
    out_.append(name);
    out_.push_back('>');
  }
  void EndTag(const char* name) {
    out_.append("</");
    out_.append(name);
    out_.push_back('>');
  }
  void WriteEmpty(const char* name, int depth) {
    Indent(depth);
    out_.push_back('<');
    out_.append(name);
    out_.append("/>");
    EndLine();
  }
  void OpenLine(const char* name, int depth) {
    Indent(depth);
    StartTag(name);
    EndLine();
  }
  void CloseLine(const char* name, int depth) {
    Indent(depth);
    EndTag(name);
    EndLine();
  }

  // <name>text</name> on one line: nothing may be added inside a text.
  void WriteText(const char* name, const std::string& text, int depth) {
    Indent(depth);
    AppendXmlTextElement(name, {}, text, &out_);
    EndLine();
  }

  // The class of a child or list entry, when it is the one the schema names.
  const ClassInfo* EntryClass(const HqMessageBase& entry, const FieldInfo& field) {
    if (entry.module() == field.childModule && entry.classNumber() == field.childClass) {
      if (const ClassInfo* cls = FindClass(field.childModule, field.childClass)) return cls;
    }
    Note(kXmlSchemaMismatch, std::string("<") + field.name + "> holds a message of class (" +
                                 std::to_string(entry.module()) + ", " +
                                 std::to_string(entry.classNumber()) + "): left out");
    return nullptr;
  }

  void WriteField(const FieldInfo& field, const FieldValue& value, int depth) {
    switch (field.kind) {
      case FieldKind::kInteger: {
        char digits[24];
        const auto result =
            std::to_chars(digits, digits + sizeof digits, std::get<int64_t>(value.data));
        Indent(depth);
        StartTag(field.name);
        out_.append(digits, result.ptr);
        EndTag(field.name);
        EndLine();
        break;
      }
      case FieldKind::kText:
        WriteText(field.name, std::get<std::string>(value.data), depth);
        break;
      case FieldKind::kTextList: {
        const auto& items = std::get<std::vector<std::string>>(value.data);
        if (items.empty()) {
          WriteEmpty(field.name, depth);
          break;
        }
        OpenLine(field.name, depth);
        for (const std::string& item : items) WriteText("item", item, depth + 1);
        CloseLine(field.name, depth);
        break;
      }
      case FieldKind::kChild: {
        const HqMessageBase& child = std::get<ChildMessage>(value.data).get();
        if (const ClassInfo* cls = EntryClass(child, field)) {
          WriteElement(child, *cls, field.name, depth);
        }
        break;
      }
      case FieldKind::kList: {
        const auto& entries = std::get<HqMessageList>(value.data);
        if (entries.empty()) {
          WriteEmpty(field.name, depth);
          break;
        }
        OpenLine(field.name, depth);
        for (const HqMessageBase& entry : entries) {
          if (const ClassInfo* cls = EntryClass(entry, field)) {
            WriteElement(entry, *cls, cls->xmlName, depth + 1);
          }
        }
        CloseLine(field.name, depth);
        break;
      }
    }
  }

  void WriteFields(const MessageFields& fields, const ClassInfo& cls, int depth) {
    for (size_t i = 0; i < cls.fieldCount; ++i) {
      const FieldInfo& field = cls.fields[i];
      const FieldValue* stored = fields.At(field.index);
      if (stored == nullptr || !stored->set()) continue;
      const FieldValue& value = *stored;
      if (value.kind() != field.kind || fields.NumberAt(field.index) != field.number) {
        Note(kXmlSchemaMismatch,
             std::string("<") + field.name + "> is stored with another number or kind: left out");
        continue;
      }
      WriteField(field, value, depth);
    }
    const std::map<int, FieldValue> none;
    for (const auto& entry : fields.rare ? fields.rare->others : none) {
      Note(kXmlSchemaMismatch, std::string(cls.qualifiedName) + " has no field of index " +
                                   std::to_string(entry.first) + ": left out");
    }
    for (const std::string& raw : fields.Unknown()) {
      Indent(depth);
      out_.append(raw);
      EndLine();
    }
  }

  bool compact_;
  std::string& out_;
  XmlStatus status_ = kXmlOk;
  std::string problem_;
};

}  // namespace

XmlStatus WriteMessage(const HqMessageBase& message, bool compact, std::string* out,
                       std::string* problem) {
  const ClassInfo* cls = FindClass(message.module(), message.classNumber());
  if (cls == nullptr) {
    *problem = "class (" + std::to_string(message.module()) + ", " +
               std::to_string(message.classNumber()) + ") has no text form";
    return kXmlUnknownClass;
  }
  Writer writer(compact, out);
  writer.WriteElement(message, *cls, cls->xmlName, 0);
  *problem = writer.problem();
  return writer.status();
}

}  // namespace detail
}  // namespace tarnalert
