// Test support: Palm database headers written byte by byte at their
// documented offsets, independently of the decoder under test, and files
// and UTF-16 names to hand to the plug-in.
#pragma once

#include "plugin/contplug.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

struct TSampleHeader {
  std::string Name;         // at most 32 bytes; the rest of the field is NUL
  std::uint16_t Attributes = 0;
  std::uint16_t Version = 0;
  std::uint32_t Created = 0; // stored seconds, as a device or converter wrote them
  std::uint32_t Modified = 0;
  std::uint32_t BackedUp = 0;
  std::uint32_t ModificationNumber = 0;
  std::uint32_t AppInfoArea = 0;
  std::uint32_t SortInfoArea = 0;
  std::string DBType;       // at most 4 bytes, NUL bytes allowed
  std::string CreatorID;
  std::uint32_t IDSeed = 0;
  std::uint32_t NextRecordList = 0;
  std::uint16_t NumRecords = 0;
};

using TSampleBytes = std::array<std::uint8_t, 78>;

inline void PutBigEndian(TSampleBytes& bytes, std::size_t offset, std::uint32_t value,
                         std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) {
    bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * (width - 1 - i)));
  }
}

inline void PutText(TSampleBytes& bytes, std::size_t offset, const std::string& text,
                    std::size_t width) {
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

inline void WriteBytes(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// A header followed by `extra` bytes of record list, as in a real file.
inline void WritePalmFile(const std::filesystem::path& path, const TSampleHeader& header,
                          std::size_t extra = 0) {
  const TSampleBytes bytes = EncodeSampleHeader(header);
  std::vector<std::uint8_t> content(bytes.begin(), bytes.end());
  content.resize(bytes.size() + extra, 0xA5);
  WriteBytes(path, content.data(), content.size());
}

inline std::vector<std::uint8_t> ReadAllBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A NUL-terminated UTF-16 name as a host passes it.
using TWideName = std::vector<WideChar>;

inline TWideName WideName(const std::u16string& text) {
  TWideName name(text.begin(), text.end());
  name.push_back(0);
  return name;
}

inline TWideName WideName(const std::filesystem::path& path) {
#if defined(_WIN32)
  const std::wstring text = path.wstring();
  TWideName name(text.begin(), text.end());
  name.push_back(0);
  return name;
#else
  return WideName(path.u16string());
#endif
}

// A fresh folder of its own under the system's temporary folder.
inline std::filesystem::path MakeTestFolder(const std::string& label) {
  static std::random_device random;
  const auto folder = std::filesystem::temp_directory_path() /
                      ("korvel-" + label + "-" + std::to_string(random()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}
