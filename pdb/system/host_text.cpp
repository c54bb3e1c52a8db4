#include "pdb/system/host_text.h"
#include "pdb/system/host_charset.h"
#include "pdb/system/utf.h"

#include <algorithm>

namespace {

std::size_t CopyFirst(std::string_view text, std::size_t count, char* out) {
  std::copy_n(text.data(), count, out);
  return count;
}

} // namespace

// Texts that are valid UTF-8 were written by a desktop tool; any other was
// stored in the code page of the handheld's language. A host that reads the
// stored bytes gets them as they are; one that reads UTF-8 gets UTF-8; one
// of another charset gets the text converted to it through UTF-8.
std::size_t HeaderTextForHost(std::string_view bytes, char* out, std::size_t capacity) {
  const THostCharset charset = HostCharset();
  const bool utf8 = IsValidUtf8(bytes);
  if (charset == THostCharset::StoredBytes || (!utf8 && charset == THostCharset::HandheldCodePage)) {
    return CopyFirst(bytes, HostTextCut(bytes, capacity), out);
  }
  if (charset == THostCharset::Utf8) {
    return utf8 ? CopyFirst(bytes, Utf8PrefixLength(bytes, capacity), out)
                : LegacyToUtf8(bytes, out, capacity);
  }
  char asUtf8[MaxStoredTextBytes * MaxUtf8BytesPerByte];
  const std::string_view text =
      utf8 ? bytes : std::string_view(asUtf8, LegacyToUtf8(bytes, asUtf8, sizeof asUtf8));
  return Utf8ToHostCharset(text, out, capacity);
}

std::size_t HostTextCut(std::string_view text, std::size_t limit) {
  if (HostCharset() == THostCharset::Utf8) return Utf8PrefixLength(text, limit);
  return HostCharsetCut(text, limit);
}
