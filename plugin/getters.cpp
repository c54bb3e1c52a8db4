#include "plugin/getters.h"
#include "plugin/catalogue.h"

#include <algorithm>
#include <charconv>
#include <limits>

// The longest name converts in one piece.
static_assert(sizeof(TPDBRawHeader::Name) <= MaxStoredTextBytes);

namespace {

bool PathTooLong(const char16_t* path) {
  for (std::size_t length = 0; length <= MaxPathLength; ++length) {
    if (path[length] == 0) return false;
  }
  return true;
}

TFieldText TextWithSuffix(std::string_view value) {
  TFieldText text;
  AppendText(text, value);
  AppendText(text, FieldSuffix);
  return text;
}

// A stored text as host text, then `rest` as stored, then the suffix. For the
// name that is the name proper converted, the raw rest of the 32 bytes from
// its NUL on (which the host never sees: the value request stops at that
// NUL), and the suffix. TFieldText holds MaxHostBytesPerByte bytes for each
// stored byte, so nothing is cut here.
TFieldText HostTextWithSuffix(std::string_view stored, std::string_view rest = {}) {
  TFieldText text;
  text.Length = HeaderTextForHost(stored, text.Bytes.data(), text.Bytes.size());
  AppendText(text, rest);
  AppendText(text, FieldSuffix);
  return text;
}

TFieldText DecimalWithSuffix(std::int32_t value) {
  char digits[std::numeric_limits<std::int32_t>::digits10 + 2]; // and a sign
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return TextWithSuffix({digits, static_cast<std::size_t>(end - digits)});
}

// The header of a Palm database: files of the other formats that share its
// extensions give no values.
bool ReadPalmHeader(const TFileName& file, TPDBRawHeader& header) {
  return ReadHeader(file, header) && !HoldsOtherFormat(header);
}

// What the field of `fieldIndex` shows, when it is answered as a date or not as
// `asDate` says; null otherwise.
const TField* FieldAnswered(int fieldIndex, bool asDate) {
  const TField* field = FieldAt(fieldIndex);
  return field != nullptr && field->AnsweredAsDate == asDate ? field : nullptr;
}

} // namespace

bool ReadHeader(const TFileName& file, TPDBRawHeader& header) {
  if (PathTooLong(file.Utf16)) return false;
  return ReadFileStart(file, &header, sizeof header);
}

TFieldText GetHeaderText(const TFileName& file, int fieldIndex) {
  TPDBRawHeader raw;
  if (!ReadPalmHeader(file, raw)) return {};
  const TField* field = FieldAnswered(fieldIndex, false);
  if (field == nullptr) return {};
  const TPDBHeader header = DecodeHeader(raw);
  switch (field->Shows) {
  case THeaderValue::Name: {
    const std::string_view name(header.Name.data(), header.Name.size());
    const std::size_t proper = std::min(name.find('\0'), name.size());
    return HostTextWithSuffix(name.substr(0, proper), name.substr(proper));
  }
  case THeaderValue::DBType:
    return HostTextWithSuffix(TextView(header.DBType));
  case THeaderValue::CreatorID:
    return HostTextWithSuffix(TextView(header.CreatorID));
  case THeaderValue::NumRecords:
    return DecimalWithSuffix(header.NumRecords);
  case THeaderValue::Version:
    return DecimalWithSuffix(header.Version);
  default:
    return {};
  }
}

TDateTime GetHeaderDate(const TFileName& file, int fieldIndex) {
  TPDBRawHeader raw;
  if (!ReadPalmHeader(file, raw)) return 0.0;
  const TField* field = FieldAnswered(fieldIndex, true);
  if (field == nullptr) return 0.0;
  const TPDBHeader header = DecodeHeader(raw);
  switch (field->Shows) {
  case THeaderValue::Created:
    return header.Created;
  case THeaderValue::Modified:
    return header.Modified;
  case THeaderValue::BackedUp:
    return header.BackedUp;
  default:
    return 0.0;
  }
}
