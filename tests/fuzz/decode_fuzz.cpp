// Fuzz target: any 78 bytes decode, and every date converts to a real
// calendar date in the range the stored seconds can reach.
#include "pdb/format/header.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckDate(TDateTime value) {
  Require(value != 0.0); // 0.0 is kept for "no date"
  const TCalendarDate date = DateTimeToCalendarDate(value);
  // From 1970-01-01 (stored 0) to 2040-02-06 (stored 0xFFFFFFFF); 1904-based times reach back to 1972.
  Require(date.Year >= 1970 && date.Year <= 2040);
  Require(date.Month >= 1 && date.Month <= 12 && date.Day >= 1 && date.Day <= 31);
}

void CheckCode(const TTypeCode& code) {
  Require(code.Length <= 4);
  Require(std::memchr(code.Bytes.data(), 0, code.Length) == nullptr);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TPDBRawHeader raw{};
  std::memcpy(&raw, data, size < sizeof raw ? size : sizeof raw);
  const TPDBHeader header = DecodeHeader(raw);
  CheckDate(header.Created);
  CheckDate(header.Modified);
  CheckDate(header.BackedUp);
  CheckCode(header.DBType);
  CheckCode(header.CreatorID);
  Require(header.Version >= 0 && header.Version <= 65535);
  Require(header.NumRecords >= 0 && header.NumRecords <= 65535);
  Require(std::memcmp(header.Name.data(), raw.Name, sizeof raw.Name) == 0);
  return 0;
}
