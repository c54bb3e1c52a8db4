#include "pdb/format/header.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string_view>

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

namespace {

// Microsoft's program databases (.pdb debug symbols) start with a signature
// line and 0x1A. The current multi-stream format writes "MSF 7.00" and "DS"
// in 32 bytes, padded with NULs; the older one "program database 2.00" and
// "JG" in 44. A Palm header would need CR, LF and 0x1A in its name.
constexpr std::string_view MsfSignature{"Microsoft C/C++ MSF 7.00\r\n\x1A"
                                        "DS\0\0\0",
                                        32};
constexpr std::string_view ProgramDatabase200Signature{"Microsoft C/C++ program database 2.00\r\n\x1A"
                                                       "JG\0\0",
                                                       44};

// .NET's portable PDBs are ECMA-335 metadata, which starts with its root:
// the signature "BSJB", major and minor version 1 and 1 (16 bits each,
// little-endian), then 32 reserved bits of 0. In a Palm name that would be
// "BSJB" followed by the control characters 0x01, 0x00, 0x01.
constexpr std::string_view MetadataRootStart{"BSJB\x01\0\x01\0\0\0\0\0", 12};

// Text files given these extensions (Protein Data Bank structures in .pdb,
// notes in .prc) hold printable ASCII, tabs and line ends only. A Palm
// header never does: it holds binary numbers, and the link to a next record
// list at offset 72 is 0 in every database written to a file.
bool IsTextByte(std::uint8_t byte) {
  return (byte >= 0x20 && byte < 0x7F) || byte == '\t' || byte == '\r' || byte == '\n';
}

std::uint32_t LittleEndianLong(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

// The 3D PRC format (ISO 14739-1) starts with "PRC" and two 32-bit
// little-endian version numbers: the least version that reads the file,
// then the version that wrote it (7094 and 8137 in its published versions),
// each below 65536. In a Palm name that would be "PRC" and at most two more
// bytes, then a NUL, then bytes other than NUL in the rest of the name
// field, which Palm OS and the desktop tools clear.
bool IsPrcModel(const std::uint8_t* bytes) {
  if (std::memcmp(bytes, "PRC", 3) != 0) return false;
  const std::uint32_t readVersion = LittleEndianLong(bytes + 3);
  const std::uint32_t authoringVersion = LittleEndianLong(bytes + 7);
  return readVersion != 0 && readVersion <= authoringVersion && authoringVersion <= 0xFFFF;
}

bool StartsWith(const std::uint8_t* bytes, std::string_view signature) {
  return std::memcmp(bytes, signature.data(), signature.size()) == 0;
}

} // namespace

bool HoldsOtherFormat(const TPDBRawHeader& raw) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&raw);
  if (StartsWith(bytes, MsfSignature) || StartsWith(bytes, ProgramDatabase200Signature) ||
      StartsWith(bytes, MetadataRootStart) || IsPrcModel(bytes)) {
    return true;
  }
  return std::all_of(bytes, bytes + PDBHeaderSize, IsTextByte);
}

TCalendarDate DateTimeToCalendarDate(TDateTime value) {
  using namespace std::chrono;
  constexpr sys_days DayZero = year{1899} / December / 30;
  const auto dayNumber = static_cast<int>(std::floor(value));
  const year_month_day date{DayZero + days{dayNumber}};
  return {static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
          static_cast<unsigned>(date.day())};
}
