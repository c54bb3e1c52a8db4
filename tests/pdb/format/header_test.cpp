// Header decoding and dates, from bytes in memory.
#include "pdb/format/header.h"
#include "tests/support/palm_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TPDBRawHeader RawFrom(const TSampleBytes& bytes) {
  TPDBRawHeader raw;
  std::memcpy(&raw, bytes.data(), sizeof raw);
  return raw;
}

std::string Text(const TTypeCode& code) { return std::string(TextView(code)); }

TEST(ByteOrder, SwapsReverseTheBytes) {
  EXPECT_EQ(SwapWord(0x0102), 0x0201);
  EXPECT_EQ(SwapWord(0xFF00), 0x00FF);
  EXPECT_EQ(SwapLong(0x01020304u), 0x04030201u);
  EXPECT_EQ(SwapLong(0xFF000080u), 0x800000FFu);
  // Every bit of the middle bytes set somewhere: a wrong mask there shows.
  EXPECT_EQ(SwapLong(0xA1B2C3D4u), 0xD4C3B2A1u);
  EXPECT_EQ(SwapLong(0x00FFFF00u), 0x00FFFF00u);
  EXPECT_EQ(SwapLong(0x0001FF00u), 0x00FF0100u);
}

struct TTimeCase {
  const char* Label;
  std::uint32_t Stored;
  int Days;
  int Seconds; // of the day
  int Year, Month, Day;
};

// Expected values reckoned separately from calendar tables, not by this code.
const TTimeCase TimeCases[] = {
    {"1970 epoch", 0, 25569, 0, 1970, 1, 1},
    {"last second of 1970-01-01", 86399, 25569, 86399, 1970, 1, 1},
    {"1970-01-02", 86400, 25570, 0, 1970, 1, 2},
    {"a billion seconds", 1000000000, 37143, 6400, 2001, 9, 9},
    {"before 2036-02-05 06:28:16", 2085805695, 49710, 23295, 2036, 2, 5},
    {"2036-02-05 06:28:16", 2085805696, 49710, 23296, 2036, 2, 5},
    {"a second later", 2085805697, 49710, 23297, 2036, 2, 5},
    {"largest 1970-based", 0x7FFFFFFF, 50424, 11647, 2038, 1, 19},
    {"smallest 1904-based", 0x80000000, 26317, 11648, 1972, 1, 19},
    {"memo created 2002", 0xB982A9E5, 37484, 47333, 2002, 8, 16},
    {"memo modified 2021", 0xDC562161, 44247, 8161, 2021, 2, 20},
    {"largest 1904-based", 0xFFFFFFFF, 51172, 23295, 2040, 2, 6},
};

TEST(PalmTime, ConvertsStoredSecondsToDayCounts) {
  for (const auto& c : TimeCases) {
    SCOPED_TRACE(c.Label);
    const TDateTime value = PalmTimeToDateTime(c.Stored);
    EXPECT_DOUBLE_EQ(value, c.Days + c.Seconds / 86400.0);
    EXPECT_EQ(static_cast<int>(value), c.Days);
    EXPECT_NE(value, 0.0) << "0.0 means no date";
  }
}

TEST(PalmTime, DayCountsBecomeTheirCalendarDates) {
  for (const auto& c : TimeCases) {
    SCOPED_TRACE(c.Label);
    const TCalendarDate date = DateTimeToCalendarDate(PalmTimeToDateTime(c.Stored));
    EXPECT_EQ(date.Year, c.Year);
    EXPECT_EQ(date.Month, static_cast<unsigned>(c.Month));
    EXPECT_EQ(date.Day, static_cast<unsigned>(c.Day));
  }
}

TEST(CalendarDate, KnownDaysAndLeapYears) {
  struct Case {
    double Value;
    int Year;
    unsigned Month, Day;
  };
  const Case cases[] = {
      {0.0, 1899, 12, 30},    {1.0, 1899, 12, 31},      {2.0, 1900, 1, 1},      {60.0, 1900, 2, 28},
      {61.0, 1900, 3, 1},     {366.0, 1900, 12, 31},    {367.0, 1901, 1, 1},    {25569.0, 1970, 1, 1},
      {36526.0, 2000, 1, 1},  {36585.0, 2000, 2, 29},   {36586.0, 2000, 3, 1},  {49710.99, 2036, 2, 5},
      {50424.5, 2038, 1, 19}, {51172.9999, 2040, 2, 6}, {51193.0, 2040, 2, 27},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Value);
    const TCalendarDate date = DateTimeToCalendarDate(c.Value);
    EXPECT_EQ(date.Year, c.Year);
    EXPECT_EQ(date.Month, c.Month);
    EXPECT_EQ(date.Day, c.Day);
  }
}

// Walks every day from 1899-12-30 to past 2040 and checks each date follows
// the one before by the Gregorian rules, counted here independently.
TEST(CalendarDate, EveryDayFollowsTheDayBefore) {
  auto isLeap = [](int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; };
  auto daysIn = [&](int year, unsigned month) -> unsigned {
    constexpr unsigned lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : lengths[month - 1];
  };
  int year = 1899;
  unsigned month = 12, day = 30;
  for (int dayNumber = 0; dayNumber <= 52000; ++dayNumber) {
    const TCalendarDate date = DateTimeToCalendarDate(dayNumber + 0.75);
    ASSERT_EQ(date.Year, year) << "day " << dayNumber;
    ASSERT_EQ(date.Month, month) << "day " << dayNumber;
    ASSERT_EQ(date.Day, day) << "day " << dayNumber;
    if (++day > daysIn(year, month)) {
      day = 1;
      if (++month > 12) {
        month = 1;
        ++year;
      }
    }
  }
}

TEST(DecodeHeader, ReadsEveryFieldFromItsOwnOffset) {
  // Every byte different (byte k holds k+1), so a field read from the wrong
  // offset or in the wrong order cannot match.
  TSampleBytes bytes;
  for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<std::uint8_t>(k + 1);
  const TPDBHeader header = DecodeHeader(RawFrom(bytes));
  for (std::size_t k = 0; k < 32; ++k) EXPECT_EQ(header.Name[k], static_cast<char>(k + 1));
  // Attributes 0x2122: bits 0x0002 and 0x0020.
  EXPECT_TRUE(header.ReadOnly);
  EXPECT_FALSE(header.Dirty);
  EXPECT_FALSE(header.Backup);
  EXPECT_FALSE(header.Overwrite);
  EXPECT_TRUE(header.ForceReset);
  EXPECT_FALSE(header.NoBeam);
  EXPECT_EQ(header.Version, 0x2324);
  EXPECT_DOUBLE_EQ(header.Created, 32782 + 54184 / 86400.0);  // 0x25262728: 1989-10-01 15:03:04
  EXPECT_DOUBLE_EQ(header.Modified, 33562 + 34220 / 86400.0); // 0x292A2B2C: 1991-11-20 09:30:20
  EXPECT_DOUBLE_EQ(header.BackedUp, 34342 + 14256 / 86400.0); // 0x2D2E2F30: 1994-01-08 03:57:36
  EXPECT_EQ(header.Modification, 0x31323334);
  EXPECT_EQ(header.AppInfoArea, 0x35363738);
  EXPECT_EQ(header.SortInfoArea, 0x393A3B3C);
  EXPECT_EQ(Text(header.DBType), "=>?@");
  EXPECT_EQ(Text(header.CreatorID), "ABCD");
  EXPECT_EQ(header.IDSeed, 0x45464748);
  EXPECT_EQ(header.NextRecordList, 0x494A4B4C);
  EXPECT_EQ(header.NumRecords, 0x4D4E);
}

TEST(DecodeHeader, HighBytesGiveUnsignedCountsAndDevicesDates) {
  // Byte k holds k+0x80: numbers with the top bit set stay unsigned where
  // they are counts, keep their bits where they are offsets, and times count from 1904.
  TSampleBytes bytes;
  for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<std::uint8_t>(k + 0x80);
  const TPDBHeader header = DecodeHeader(RawFrom(bytes));
  EXPECT_EQ(header.Version, 0xA2A3);
  EXPECT_EQ(header.NumRecords, 0xCCCD);
  EXPECT_DOUBLE_EQ(header.Created, 33433 + 25127 / 86400.0); // 0xA4A5A6A7: 1991-07-14 06:58:47
  EXPECT_EQ(header.Modification, static_cast<std::int32_t>(0xB0B1B2B3u));
  EXPECT_EQ(Text(header.CreatorID), "\xC0\xC1\xC2\xC3");
}

TEST(DecodeHeader, AttributeBits) {
  struct Case {
    std::uint16_t Bits;
    bool ReadOnly, Dirty, Backup, Overwrite, ForceReset, NoBeam;
  };
  const Case cases[] = {
      {0x0048, false, false, true, false, false, true},
      {0x8009, false, false, true, false, false, false}, // open when the device reset
      {0x0001, false, false, false, false, false, false},
      {0x007E, true, true, true, true, true, true},
      {0xFF81, false, false, false, false, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Bits);
    TSampleHeader sample;
    sample.Attributes = c.Bits;
    const TPDBHeader header = DecodeHeader(RawFrom(EncodeSampleHeader(sample)));
    EXPECT_EQ(header.ReadOnly, c.ReadOnly);
    EXPECT_EQ(header.Dirty, c.Dirty);
    EXPECT_EQ(header.Backup, c.Backup);
    EXPECT_EQ(header.Overwrite, c.Overwrite);
    EXPECT_EQ(header.ForceReset, c.ForceReset);
    EXPECT_EQ(header.NoBeam, c.NoBeam);
  }
}

TEST(DecodeHeader, TextsKeepTheirBytes) {
  struct Case {
    const char* Label;
    std::string Name, Type, Creator;
    std::string ExpectedType, ExpectedCreator;
  };
  const Case cases[] = {
      {"plain", "MemoDB", "DATA", "memo", "DATA", "memo"},
      {"32-byte name", "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", "appl", "Korv", "appl", "Korv"},
      {"NUL inside the type", std::string("Memo\0junk", 9), std::string("TE\0X", 4), "ab", "TE", "ab"},
      {"empty codes", "", std::string(4, '\0'), std::string("\0abc", 4), "", ""},
      {"high bytes", "\x80\xC4\xFF", "\xE9\xFF\x80\x81", "\x90\x91\x92\x93", "\xE9\xFF\x80\x81",
       "\x90\x91\x92\x93"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    TSampleHeader sample;
    sample.Name = c.Name;
    sample.DBType = c.Type;
    sample.CreatorID = c.Creator;
    const TPDBHeader header = DecodeHeader(RawFrom(EncodeSampleHeader(sample)));
    std::string expectedName = c.Name;
    expectedName.resize(32, '\0');
    EXPECT_EQ(std::string(header.Name.data(), header.Name.size()), expectedName);
    EXPECT_EQ(Text(header.DBType), c.ExpectedType);
    EXPECT_EQ(Text(header.CreatorID), c.ExpectedCreator);
  }
}

// Other formats under the same extensions are told by positive evidence only:
// each signature whole, or 78 bytes of text. Anything a Palm header could
// hold is read.
TEST(OtherFormats, AreToldByTheirSignaturesAlone) {
  const std::string msf("Microsoft C/C++ MSF 7.00\r\n\x1A"
                        "DS\0\0\0",
                        32);
  const std::string jg("Microsoft C/C++ program database 2.00\r\n\x1A"
                       "JG\0\0",
                       44);
  const std::string root("BSJB\x01\0\x01\0\0\0\0\0\x0C\0\0\0PDB v1.0", 24);
  const std::string text(78, 'A');
  const auto prc = [](std::uint32_t readVersion, std::uint32_t authoringVersion) {
    std::string bytes = "PRC";
    for (const std::uint32_t version : {readVersion, authoringVersion}) {
      for (int i = 0; i < 4; ++i) bytes += static_cast<char>(version >> (8 * i));
    }
    return bytes + "\x5C\x3A\x81\xD2";
  };
  const auto with = [](std::string bytes, std::size_t at, char value) {
    bytes.replace(at, 1, 1, value);
    return bytes;
  };
  struct Case {
    const char* Label;
    std::string Start; // the rest of the 78 bytes is NUL
    bool Other;
  };
  const Case cases[] = {
      {"78 NUL bytes", "", false},
      {"a Palm header",
       std::string(reinterpret_cast<const char*>(
                       EncodeSampleHeader(
                           {.Name = "MemoDB", .DBType = "DATA", .CreatorID = "memo", .NumRecords = 258})
                           .data()),
                   78),
       false},
      {"MSF 7.00", msf, true},
      {"MSF 7.00 with a byte after its NULs", msf + "\x01", true},
      {"MSF 7.00 but its last NUL", with(msf, 31, '\x01'), false},
      {"MSF 7.00 but its first byte", with(msf, 0, 'm'), false},
      {"program database 2.00", jg, true},
      {"program database 2.00 but its last NUL", with(jg, 43, ' '), false},
      {"metadata root", root, true},
      {"metadata root of version 1.2", with(root, 6, '\x02'), false},
      {"metadata root with reserved bits", with(root, 11, '\x01'), false},
      {"a Palm name BSJB", "BSJB", false},
      {"3D PRC 8137 8137", prc(8137, 8137), true},
      {"3D PRC 7094 8137", prc(7094, 8137), true},
      {"3D PRC 1 65535", prc(1, 65535), true},
      {"3D PRC read version 0", prc(0, 8137), false},
      {"3D PRC read version above the authoring one", prc(8138, 8137), false},
      {"3D PRC read version 256, authoring 255", prc(256, 255), false},
      {"3D PRC authoring version 65536", prc(8137, 65536), false},
      {"a Palm name PRC", "PRC", false},
      {"a Palm name PRCx", "PRCx", false},
      {"78 letters", text, true},
      {"78 spaces", std::string(78, ' '), true},
      {"78 tildes", std::string(78, '~'), true},
      {"text with tab, CR and LF", with(with(with(text, 0, '\t'), 40, '\r'), 77, '\n'), true},
      {"text but a NUL at 77", text.substr(0, 77), false},
      {"text but a DEL", with(text, 50, '\x7F'), false},
      {"text but 0x1F", with(text, 50, '\x1F'), false},
      {"text but 0x80", with(text, 50, '\x80'), false},
      {"text but 0x08", with(text, 50, '\x08'), false},
      {"text but 0x0B", with(text, 50, '\x0B'), false},
      {"text but 0x0C", with(text, 50, '\x0C'), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Label);
    TSampleBytes bytes{};
    std::copy_n(c.Start.begin(), std::min(c.Start.size(), bytes.size()), bytes.begin());
    EXPECT_EQ(HoldsOtherFormat(RawFrom(bytes)), c.Other);
  }
}

} // namespace
