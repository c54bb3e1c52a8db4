#include "pdb/header.h"

#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>

namespace {

constexpr std::int64_t SecondsPerDay = 86400;
// From 1899-12-30, day 0 of TDateTime, to the two epochs that Palm files use.
constexpr std::int64_t SecondsTo1904 = 126316800;  // 1462 days
constexpr std::int64_t SecondsTo1970 = 2209161600; // 25569 days

std::uint16_t BigEndianWord(const std::uint8_t (&bytes)[2]) {
  std::uint16_t value;
  std::memcpy(&value, bytes, sizeof value);
  return std::endian::native == std::endian::little ? SwapWord(value) : value;
}

std::uint32_t BigEndianLong(const std::uint8_t (&bytes)[4]) {
  std::uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return std::endian::native == std::endian::little ? SwapLong(value) : value;
}

std::int32_t SignedLong(const std::uint8_t (&bytes)[4]) {
  return static_cast<std::int32_t>(BigEndianLong(bytes));
}

TTypeCode CodeUpToNul(const std::uint8_t (&bytes)[4]) {
  TTypeCode code;
  while (code.Length < sizeof bytes && bytes[code.Length] != 0) {
    code.Bytes[code.Length] = static_cast<char>(bytes[code.Length]);
    ++code.Length;
  }
  return code;
}

} // namespace

// Palm devices and their desktop synchronisation store unsigned seconds since
// 1904-01-01, which has the top bit set for every time after 1972-01-19;
// some desktop converters store seconds since 1970-01-01 instead, which keeps
// the top bit clear until 2038. The top bit therefore tells the two apart.
// The sum is taken in 64 bits so that nothing wraps.
TDateTime PalmTimeToDateTime(std::uint32_t seconds) {
  const std::int64_t since18991230 =
      static_cast<std::int64_t>(seconds) + ((seconds & 0x80000000u) ? SecondsTo1904 : SecondsTo1970);
  const std::int64_t days = since18991230 / SecondsPerDay;
  const std::int64_t rest = since18991230 % SecondsPerDay;
  return static_cast<double>(days) + static_cast<double>(rest) / 86400.0;
}

TPDBHeader DecodeHeader(const TPDBRawHeader& raw) {
  TPDBHeader header{};
  std::memcpy(header.Name.data(), raw.Name, sizeof raw.Name);
  const std::uint16_t attributes = BigEndianWord(raw.Attributes);
  header.ReadOnly = (attributes & AttrReadOnly) != 0;
  header.Dirty = (attributes & AttrDirty) != 0;
  header.Backup = (attributes & AttrBackup) != 0;
  header.Overwrite = (attributes & AttrOverwrite) != 0;
  header.ForceReset = (attributes & AttrForceReset) != 0;
  header.NoBeam = (attributes & AttrNoBeam) != 0;
  header.Version = BigEndianWord(raw.Version);
  header.Created = PalmTimeToDateTime(BigEndianLong(raw.CreationTime));
  header.Modified = PalmTimeToDateTime(BigEndianLong(raw.ModificationTime));
  header.BackedUp = PalmTimeToDateTime(BigEndianLong(raw.BackupTime));
  header.Modification = SignedLong(raw.ModificationNumber);
  header.AppInfoArea = SignedLong(raw.AppInfoArea);
  header.SortInfoArea = SignedLong(raw.SortInfoArea);
  header.DBType = CodeUpToNul(raw.DBType);
  header.CreatorID = CodeUpToNul(raw.CreatorID);
  header.IDSeed = SignedLong(raw.IDSeed);
  header.NextRecordList = SignedLong(raw.NextRecordList);
  header.NumRecords = BigEndianWord(raw.NumRecords);
  return header;
}

TCalendarDate DateTimeToCalendarDate(TDateTime value) {
  using namespace std::chrono;
  constexpr sys_days DayZero = year{1899} / December / 30;
  const auto dayNumber = static_cast<int>(std::floor(value));
  const year_month_day date{DayZero + days{dayNumber}};
  return {static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
          static_cast<unsigned>(date.day())};
}
