#include "pdb/getters.h"
#include "pdb/platform.h"

#include <charconv>
#include <cstring>

namespace {

bool PathTooLong(const WideChar* path) {
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

TFieldText DecimalWithSuffix(std::int32_t value) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  return TextWithSuffix({digits, static_cast<std::size_t>(end - digits)});
}

} // namespace

bool ReadHeader(const WideChar* path, TPDBRawHeader& header) {
  if (PathTooLong(path)) return false;
  return ReadFileStart(path, &header, sizeof header);
}

TFieldText GetHeaderText(const WideChar* path, int fieldIndex) {
  TPDBRawHeader raw;
  if (!ReadHeader(path, raw)) return {};
  const TPDBHeader header = DecodeHeader(raw);
  switch (fieldIndex) {
  case 0:
    return TextWithSuffix({header.Name.data(), header.Name.size()});
  case 1:
    return TextWithSuffix(TextView(header.DBType));
  case 2:
    return TextWithSuffix(TextView(header.CreatorID));
  case 6:
    return DecimalWithSuffix(header.NumRecords);
  case 7:
    return DecimalWithSuffix(header.Version);
  default:
    return {};
  }
}

TDateTime GetHeaderDate(const WideChar* path, int fieldIndex) {
  TPDBRawHeader raw;
  if (!ReadHeader(path, raw)) return 0.0;
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
