// The 78-byte header at the start of every Palm OS database file, record
// databases (.pdb) and resource databases (.prc) alike, and its decoding.
#pragma once

#include "pdb/format/bounded_text.h"

#include <array>
#include <cstddef>
#include <cstdint>

// Days since 1899-12-30 00:00; the fraction is the time of day.
using TDateTime = double;

// The header as stored: every number big-endian, no gaps. Multi-byte fields
// are byte arrays, so neither alignment nor the host's byte order matters.
struct TPDBRawHeader {
  std::uint8_t Name[32]; // NUL-terminated unless it fills all 32 bytes
  std::uint8_t Attributes[2];
  std::uint8_t Version[2];
  std::uint8_t CreationTime[4];
  std::uint8_t ModificationTime[4];
  std::uint8_t BackupTime[4];
  std::uint8_t ModificationNumber[4];
  std::uint8_t AppInfoArea[4];
  std::uint8_t SortInfoArea[4];
  std::uint8_t DBType[4];
  std::uint8_t CreatorID[4];
  std::uint8_t IDSeed[4];
  std::uint8_t NextRecordList[4];
  std::uint8_t NumRecords[2];
};
inline constexpr std::size_t PDBHeaderSize = 78;
static_assert(sizeof(TPDBRawHeader) == PDBHeaderSize, "the header has no gaps");
static_assert(offsetof(TPDBRawHeader, DBType) == 60 && offsetof(TPDBRawHeader, NumRecords) == 76);

// A four-character code (type or creator), cut at its first NUL byte.
using TTypeCode = TBoundedText<4>;

struct TPDBHeader {
  std::array<char, 32> Name; // all 32 bytes as stored; the name proper ends at the first NUL
  bool ReadOnly;
  bool Dirty;
  bool Backup;
  bool Overwrite;
  bool ForceReset;
  bool NoBeam;
  std::int32_t Version;
  TDateTime Created;
  TDateTime Modified;
  TDateTime BackedUp;
  std::int32_t Modification;
  std::int32_t AppInfoArea;
  std::int32_t SortInfoArea;
  TTypeCode DBType;
  TTypeCode CreatorID;
  std::int32_t IDSeed;
  std::int32_t NextRecordList;
  std::int32_t NumRecords;
};

// Attribute bits of the header that are decoded.
inline constexpr std::uint16_t AttrReadOnly = 0x0002;
inline constexpr std::uint16_t AttrDirty = 0x0004;
inline constexpr std::uint16_t AttrBackup = 0x0008;
inline constexpr std::uint16_t AttrOverwrite = 0x0010;
inline constexpr std::uint16_t AttrForceReset = 0x0020;
inline constexpr std::uint16_t AttrNoBeam = 0x0040;

constexpr std::uint16_t SwapWord(std::uint16_t value) {
  return static_cast<std::uint16_t>((value >> 8) | (value << 8));
}

constexpr std::uint32_t SwapLong(std::uint32_t value) {
  return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) | (value << 24);
}

// Stored times count seconds; see the rule in header.cpp.
TDateTime PalmTimeToDateTime(std::uint32_t seconds);

TPDBHeader DecodeHeader(const TPDBRawHeader& raw);

// True when the 78 bytes show that the file is of another format that takes
// the same extensions (debug symbols, text, 3D models): only positive
// evidence counts, so that anything that could be a Palm database is read.
bool HoldsOtherFormat(const TPDBRawHeader& raw);

// A calendar date in the proleptic Gregorian calendar.
struct TCalendarDate {
  int Year;
  unsigned Month; // 1-12
  unsigned Day;   // 1-31
};

// The date of a day count: its whole part counted from 1899-12-30 as day 0.
// Defined for the day counts PalmTimeToDateTime gives.
TCalendarDate DateTimeToCalendarDate(TDateTime value);
