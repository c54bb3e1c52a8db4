// Test support: asking the loaded plug-in for a value as a host does, into a
// buffer of the given size followed by marked bytes, and checking what the
// call left there: a text and its NUL, a date, or nothing at all.
#pragma once

#include "tests/support/palm_file.h"
#include "tests/support/plugin_loader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

inline constexpr std::uint8_t Marker = 0xCD;
inline constexpr std::size_t Slack = 64; // bytes past the given size that must stay untouched

// What a call left in a buffer of `size` bytes followed by marked slack.
struct TAnswer {
  int Result;
  std::vector<std::uint8_t> Buffer;
};

inline std::vector<std::uint8_t> MarkedBuffer(int size) {
  return std::vector<std::uint8_t>(static_cast<std::size_t>(size > 0 ? size : 0) + Slack, Marker);
}

inline TAnswer AskW(const WideChar* name, int index, int size, int flags = 0, int unit = 0) {
  auto buffer = MarkedBuffer(size);
  const int result = LoadedPlugin().GetValueW(name, index, unit, buffer.data(), size, flags);
  return {result, buffer};
}

inline TAnswer AskW(const TWideName& name, int index, int size = 256, int flags = 0, int unit = 0) {
  return AskW(name.data(), index, size, flags, unit);
}

inline TAnswer Ask8(const char* name, int index, int size = 256, int flags = 0, int unit = 0) {
  auto buffer = MarkedBuffer(size);
  const int result = LoadedPlugin().GetValue(name, index, unit, buffer.data(), size, flags);
  return {result, buffer};
}

// The text the answer holds, up to its NUL.
inline std::string TextOf(const TAnswer& answer) {
  return std::string(reinterpret_cast<const char*>(answer.Buffer.data()),
                     strnlen(reinterpret_cast<const char*>(answer.Buffer.data()), answer.Buffer.size()));
}

// The date's six bytes, as the interface lays them out.
inline std::string DateBytesOf(const TAnswer& answer) {
  return std::string(answer.Buffer.begin(), answer.Buffer.begin() + sizeof(FieldDate));
}

inline void ExpectText(const TAnswer& answer, const std::string& text) {
  ASSERT_EQ(answer.Result, FieldTypeString);
  ASSERT_GT(answer.Buffer.size(), text.size());
  EXPECT_EQ(std::string(answer.Buffer.begin(), answer.Buffer.begin() + static_cast<long>(text.size())), text);
  EXPECT_EQ(answer.Buffer[text.size()], 0) << "text not terminated";
  for (std::size_t i = text.size() + 1; i < answer.Buffer.size(); ++i) {
    ASSERT_EQ(answer.Buffer[i], Marker) << "byte " << i << " written";
  }
}

inline void ExpectDate(const TAnswer& answer, int year, int month, int day) {
  ASSERT_EQ(answer.Result, FieldTypeDate);
  FieldDate date;
  std::memcpy(&date, answer.Buffer.data(), sizeof date);
  EXPECT_EQ(date.Year, year);
  EXPECT_EQ(date.Month, month);
  EXPECT_EQ(date.Day, day);
  for (std::size_t i = sizeof date; i < answer.Buffer.size(); ++i) {
    ASSERT_EQ(answer.Buffer[i], Marker) << "byte " << i << " written";
  }
}

inline void ExpectUntouched(const TAnswer& answer, int result) {
  EXPECT_EQ(answer.Result, result);
  for (std::size_t i = 0; i < answer.Buffer.size(); ++i) {
    ASSERT_EQ(answer.Buffer[i], Marker) << "byte " << i << " written";
  }
}
