#include "pdb/getters.h"

#include <algorithm>
#include <charconv>
#include <cstring>

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
// name that is the name proper converted (at most MaxHostBytesPerByte bytes
// per stored byte), the raw rest of the 32 bytes from its NUL on (which the
// host never sees: the value request stops at that NUL), and the suffix.
// The converted name takes at most three times its bytes and the rest one,
// so 32 stored bytes never need more than 32 * 3 + 1: nothing is cut here.
static_assert(TFieldText().Bytes.size() >=
              sizeof(TPDBRawHeader::Name) * MaxHostBytesPerByte + FieldSuffix.size());
TFieldText HostTextWithSuffix(std::string_view stored, std::string_view rest = {}) {
  TFieldText text;
  text.Length = HeaderTextForHost(stored, text.Bytes.data(), text.Bytes.size());
  AppendText(text, rest);
  AppendText(text, FieldSuffix);
  return text;
}

TFieldText DecimalWithSuffix(std::int32_t value) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return TextWithSuffix({digits, static_cast<std::size_t>(end - digits)});
}

// The header of a Palm database: files of the other formats that share its
// extensions give no values.
bool ReadPalmHeader(const TFileName& file, TPDBRawHeader& header) {
  return ReadHeader(file, header) && !HoldsOtherFormat(header);
}

} // namespace

bool ReadHeader(const TFileName& file, TPDBRawHeader& header) {
  if (PathTooLong(file.Utf16)) return false;
  return ReadFileStart(file, &header, sizeof header);
}

TFieldText GetHeaderText(const TFileName& file, int fieldIndex) {
  TPDBRawHeader raw;
  if (!ReadPalmHeader(file, raw)) return {};
  const TPDBHeader header = DecodeHeader(raw);
  switch (fieldIndex) {
  case 0: {
    const std::string_view name(header.Name.data(), header.Name.size());
    const std::size_t proper = std::min(name.find('\0'), name.size());
    return HostTextWithSuffix(name.substr(0, proper), name.substr(proper));
  }
  case 1:
    return HostTextWithSuffix(TextView(header.DBType));
  case 2:
    return HostTextWithSuffix(TextView(header.CreatorID));
  case 6:
    return DecimalWithSuffix(header.NumRecords);
  case 7:
    return DecimalWithSuffix(header.Version);
  default:
    return {};
  }
}

TDateTime GetHeaderDate(const TFileName& file, int fieldIndex) {
  TPDBRawHeader raw;
  if (!ReadPalmHeader(file, raw)) return 0.0;
  const TPDBHeader header = DecodeHeader(raw);
  switch (fieldIndex) {
  case 3:
    return header.Created;
  case 4:
    return header.Modified;
  case 5:
    return header.BackedUp;
  default:
    return 0.0;
  }
}
