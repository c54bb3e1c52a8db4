// Fuzz target: the Windows path rules on any path a host could give, as
// UTF-16 code units (two input bytes each, low byte first). Whatever is
// opened is never a device, a short full path opens as it is, and a long one
// opens in the long form of exactly that path, inside the buffer.
#include "pdb/system/windows_path.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t length = size / 2;
  // Exactly the room the platform layer gives: the prefix's, the path's and the NUL.
  const auto buffer = std::make_unique<char16_t[]>(LongFormRoom + length + 1);
  for (std::size_t i = 0; i < length; ++i) {
    const auto unit = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    buffer[LongFormRoom + i] = unit == 0 ? u'x' : unit; // a full path holds no NUL
  }
  buffer[LongFormRoom + length] = 0;
  const std::u16string full(buffer.get() + LongFormRoom, length);

  const bool device = NamesDevice(full);
  // A verbatim path that is not a device names something inside a drive, a
  // share or a volume: a separator follows its root.
  if (IsVerbatimPath(full) && !device) {
    Require(std::u16string_view(full).substr(4).find_first_of(u"\\/") != std::u16string_view::npos);
  }

  const std::u16string_view open = PathToOpen(buffer.get(), length);
  if (open.empty()) return 0;
  Require(!device);
  Require(!NamesDevice(open));
  // Inside the buffer, and ending where the full path's NUL is.
  Require(open.data() >= buffer.get() && open.data() + open.size() == buffer.get() + LongFormRoom + length);
  Require(open.data()[open.size()] == 0);
  if (length < ShortPathLimit || IsVerbatimPath(full)) {
    Require(open == full);
  } else if (full[1] == u':') {
    Require(open.size() == length + 4 && StartsWith(open, u"\\\\?\\") && open.substr(4) == full);
  } else {
    // "\\server\share" becomes "\\?\UNC\server\share"
    Require(StartsWith(open, u"\\\\?\\UNC\\") && open.substr(8) == std::u16string_view(full).substr(2));
  }
  return 0;
}
