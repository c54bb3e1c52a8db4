// Palm database headers written byte by byte at their documented offsets,
// independently of the plug-in's decoder: for sample files and tests.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct TSampleHeader {
  std::string Name; // at most 32 bytes; the rest of the field is NUL
  std::uint16_t Attributes = 0;
  std::uint16_t Version = 0;
  std::uint32_t Created = 0; // stored seconds, as a device or converter wrote them
  std::uint32_t Modified = 0;
  std::uint32_t BackedUp = 0;
  std::uint32_t ModificationNumber = 0;
  std::uint32_t AppInfoArea = 0;
  std::uint32_t SortInfoArea = 0;
  std::string DBType; // at most 4 bytes, NUL bytes allowed
  std::string CreatorID;
  std::uint32_t IDSeed = 0;
  std::uint32_t NextRecordList = 0;
  std::uint16_t NumRecords = 0;
};

using TSampleBytes = std::array<std::uint8_t, 78>;

// Writes the `width` low bytes of `value` at `out`, the most significant first.
inline void PutBigEndian(std::uint8_t* out, std::uint32_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
}

inline void PutBigEndian(TSampleBytes& bytes, std::size_t offset, std::uint32_t value, std::size_t width) {
  PutBigEndian(bytes.data() + offset, value, width);
}

inline void PutText(TSampleBytes& bytes, std::size_t offset, const std::string& text, std::size_t width) {
  for (std::size_t i = 0; i < text.size() && i < width; ++i) {
    bytes[offset + i] = static_cast<std::uint8_t>(text[i]);
  }
}

inline TSampleBytes EncodeSampleHeader(const TSampleHeader& header) {
  TSampleBytes bytes{};
  PutText(bytes, 0, header.Name, 32);
  PutBigEndian(bytes, 32, header.Attributes, 2);
  PutBigEndian(bytes, 34, header.Version, 2);
  PutBigEndian(bytes, 36, header.Created, 4);
  PutBigEndian(bytes, 40, header.Modified, 4);
  PutBigEndian(bytes, 44, header.BackedUp, 4);
  PutBigEndian(bytes, 48, header.ModificationNumber, 4);
  PutBigEndian(bytes, 52, header.AppInfoArea, 4);
  PutBigEndian(bytes, 56, header.SortInfoArea, 4);
  PutText(bytes, 60, header.DBType, 4);
  PutText(bytes, 64, header.CreatorID, 4);
  PutBigEndian(bytes, 68, header.IDSeed, 4);
  PutBigEndian(bytes, 72, header.NextRecordList, 4);
  PutBigEndian(bytes, 76, header.NumRecords, 2);
  return bytes;
}

// Seconds as Palm devices store them: since 1904-01-01 00:00.
std::uint32_t PalmDeviceSeconds(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                                unsigned second);

// Seconds as some desktop converters store them: since 1970-01-01 00:00.
std::uint32_t UnixSeconds(int year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                          unsigned second);

// A whole database: the header, a record list of `NumRecords` entries (8
// bytes each, or 10 for a resource database) and short records after it.
std::string EncodePalmDatabase(const TSampleHeader& header, bool resourceDatabase);
