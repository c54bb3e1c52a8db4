// Short texts of a fixed capacity that live on the stack: every value of a
// request has a known upper bound (a name converted to host text, its
// suffix), so none of them needs the heap.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string_view>

template <std::size_t Capacity> struct TBoundedText {
  std::array<char, Capacity> Bytes; // only the first Length bytes are set
  std::size_t Length = 0;
};

template <std::size_t Capacity> std::string_view TextView(const TBoundedText<Capacity>& text) {
  return {text.Bytes.data(), text.Length};
}

// Appends as much of `tail` as fits; the capacities are chosen so that it all does.
template <std::size_t Capacity> void AppendText(TBoundedText<Capacity>& text, std::string_view tail) {
  const std::size_t count = std::min(tail.size(), Capacity - text.Length);
  std::copy_n(tail.data(), count, text.Bytes.data() + text.Length);
  text.Length += count;
}
