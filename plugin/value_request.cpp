#include "plugin/value_request.h"
#include "pdb/system/platform.h"
#include "plugin/catalogue.h"
#include "plugin/getters.h"

#include <cstring>
#include <optional>
#include <vector>

namespace {

char16_t Lowered(char16_t unit) {
  return (unit >= 'A' && unit <= 'Z') ? static_cast<char16_t>(unit - 'A' + 'a') : unit;
}

bool ContainsMarker(const char16_t* extension, std::size_t length, const char (&marker)[4]) {
  for (std::size_t i = 0; i + 3 <= length; ++i) {
    if (Lowered(extension[i]) == marker[0] && Lowered(extension[i + 1]) == marker[1] &&
        Lowered(extension[i + 2]) == marker[2]) {
      return true;
    }
  }
  return false;
}

int AnswerDate(const TFileName& fileName, int fieldIndex, void* value, int size) {
  if (value == nullptr || size < static_cast<int>(sizeof(FieldDate))) return FieldEmpty;
  const TDateTime dateTime = GetHeaderDate(fileName, fieldIndex);
  if (dateTime == 0.0) return FieldEmpty;
  const TCalendarDate date = DateTimeToCalendarDate(dateTime);
  const FieldDate answer{static_cast<std::uint16_t>(date.Year), static_cast<std::uint16_t>(date.Month),
                         static_cast<std::uint16_t>(date.Day)};
  std::memcpy(value, &answer, sizeof answer);
  return FieldTypeDate;
}

int AnswerText(const TFileName& fileName, int fieldIndex, void* value, int size) {
  if (value == nullptr || size < 1) return FieldEmpty;
  const TFieldText text = GetHeaderText(fileName, fieldIndex);
  if (text.Length == 0) return FieldEmpty;
  // The text is the value as host text, for the name followed by the raw rest
  // of its field from the NUL on, then the suffix. The host sees it up to its
  // first NUL: the name proper, not all 32 bytes. A buffer too small for it
  // gets the longest part that ends on a whole character, and the NUL.
  const std::string_view whole = TextView(text);
  const std::string_view shown = whole.substr(0, whole.find('\0'));
  CopyTextToBuffer(shown.substr(0, HostTextCut(shown, static_cast<std::size_t>(size) - 1)),
                   static_cast<char*>(value), size);
  return FieldTypeString;
}

} // namespace

bool ExtensionMatches(const char16_t* fileName) {
  if (fileName == nullptr) return false;
  const char16_t* end = fileName;
  while (*end != 0) ++end;
  // Back from the end to the last dot; a backslash or colon first means the
  // last component has no extension.
  for (const char16_t* p = end; p != fileName;) {
    --p;
    if (*p == '.') {
      const auto length = static_cast<std::size_t>(end - p);
      return ContainsMarker(p, length, "pdb") || ContainsMarker(p, length, "prc");
    }
    if (*p == '\\' || *p == ':') return false;
  }
  return false;
}

namespace {

// The answer to a request that needs neither the file nor its name: an
// unknown field, or a host that asks with DelayIfSlow first.
std::optional<int> AnswerWithoutName(int fieldIndex, int flags) {
  if (FieldAt(fieldIndex) == nullptr) return FieldNoSuchField;
  if ((flags & DelayIfSlow) != 0) return FieldDelayed;
  return std::nullopt;
}

int AnswerNamed(const TFileName& fileName, int fieldIndex, void* value, int size) {
  // The extension is checked before the file is touched.
  if (!ExtensionMatches(fileName.Utf16)) return FieldDelayed;
  return FieldAt(fieldIndex)->AnsweredAsDate ? AnswerDate(fileName, fieldIndex, value, size)
                                             : AnswerText(fileName, fieldIndex, value, size);
}

} // namespace

int AnswerValueRequest(const char16_t* fileName, int fieldIndex, void* value, int size, int flags) {
  if (const auto early = AnswerWithoutName(fieldIndex, flags)) return *early;
  return AnswerNamed({fileName}, fieldIndex, value, size);
}

int AnswerValueRequest(const char* fileName, int fieldIndex, void* value, int size, int flags) {
  // Requests that are answered without the name need no conversion.
  if (const auto early = AnswerWithoutName(fieldIndex, flags)) return *early;
  // The name in UTF-16 too: a short one converted on the stack, a longer one
  // on the heap.
  const char* bytes = fileName != nullptr ? fileName : "";
  char16_t name[StackPathUnits];
  const std::size_t needed = SystemNameToUtf16(bytes, name, StackPathUnits);
  if (needed < StackPathUnits) return AnswerNamed({name, bytes}, fieldIndex, value, size);
  std::vector<char16_t> longName(needed + 1);
  SystemNameToUtf16(bytes, longName.data(), longName.size());
  return AnswerNamed({longName.data(), bytes}, fieldIndex, value, size);
}
