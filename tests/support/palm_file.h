// Test support: files made of headers from our own encoder, and UTF-16
// names to hand to the plug-in.
#pragma once

#include "plugin/contplug.h"
#include "tools/palm-samples/palm_encoder.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

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
  const auto folder =
      std::filesystem::temp_directory_path() / ("korvel-" + label + "-" + std::to_string(random()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}
