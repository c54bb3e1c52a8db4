#include "pdb/system/utf.h"

#include <cstdint>

namespace {

constexpr char32_t EscapedByteBase = 0xDC00; // escaped bytes are 0x80..0xFF

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one well-formed UTF-8 sequence at `p`, of which at most `available`
// bytes may be read; returns its length, or 0 when the byte at `p` does not
// start one (overlong forms, encoded surrogates and cut sequences included).
int DecodeSequence(const unsigned char* p, std::size_t available, char32_t& codePoint) {
  const unsigned char lead = p[0];
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  int length;
  unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0Fu;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07u;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (available < static_cast<std::size_t>(length)) return 0;
  if (p[1] < low || p[1] > high) return 0;
  for (int i = 1; i < length; ++i) {
    if (!IsContinuation(p[i])) return 0; // also stops at the terminating NUL
    codePoint = (codePoint << 6) | (p[i] & 0x3Fu);
  }
  return length;
}

} // namespace

std::size_t Utf8ToUtf16(const char* text, char16_t* out, std::size_t capacity) {
  std::size_t needed = 0;
  auto put = [&](char32_t unit) {
    if (needed < capacity) out[needed] = static_cast<char16_t>(unit);
    ++needed;
  };
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    if (*p < 0x80) { // most names are ASCII
      put(*p++);
      continue;
    }
    char32_t codePoint;
    // The text ends with a NUL, which no sequence holds: the scan stops there.
    const int length = DecodeSequence(p, 4, codePoint);
    if (length == 0) {
      put(EscapedByteBase + *p);
      ++p;
      continue;
    }
    p += length;
    if (codePoint < 0x10000) {
      put(codePoint);
    } else {
      codePoint -= 0x10000;
      put(0xD800 + (codePoint >> 10));
      put(0xDC00 + (codePoint & 0x3FF));
    }
  }
  if (needed < capacity) out[needed] = 0;
  return needed;
}

bool Utf16ToUtf8(const char16_t* text, std::size_t length, char* out, std::size_t capacity) {
  std::size_t used = 0;
  auto put = [&](unsigned value) {
    if (used + 1 >= capacity) return false; // keep room for the NUL
    out[used++] = static_cast<char>(value);
    return true;
  };
  for (std::size_t i = 0; i < length; ++i) {
    char32_t codePoint = text[i];
    if (codePoint >= 0xD800 && codePoint <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (codePoint >= EscapedByteBase + 0x80 && codePoint <= EscapedByteBase + 0xFF) {
      if (!put(codePoint - EscapedByteBase)) return false;
      continue;
    } else if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
      return false;
    }
    char bytes[4];
    const std::size_t count = EncodeUtf8(codePoint, bytes);
    for (std::size_t k = 0; k < count; ++k) {
      if (!put(static_cast<unsigned char>(bytes[k]))) return false;
    }
  }
  if (capacity == 0) return false;
  out[used] = 0;
  return true;
}

bool IsValidUtf8(std::string_view text) {
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t left = text.size();
  while (left > 0) {
    if (*p < 0x80) { // most header texts are ASCII
      ++p;
      --left;
      continue;
    }
    char32_t codePoint;
    const int length = DecodeSequence(p, left, codePoint);
    if (length == 0) return false;
    p += length;
    left -= static_cast<std::size_t>(length);
  }
  return true;
}

std::size_t Utf8PrefixLength(std::string_view text, std::size_t limit) {
  if (limit >= text.size()) return text.size();
  std::size_t length = limit;
  while (length > 0 && IsContinuation(static_cast<unsigned char>(text[length]))) --length;
  return length;
}

std::size_t DecodeUtf8(std::string_view text, char32_t& codePoint) {
  if (text.empty()) return 0;
  return static_cast<std::size_t>(
      DecodeSequence(reinterpret_cast<const unsigned char*>(text.data()), text.size(), codePoint));
}

std::size_t EncodeUtf8(char32_t codePoint, char* out) {
  auto byte = [](char32_t value) { return static_cast<char>(static_cast<unsigned char>(value)); };
  if (codePoint < 0x80) {
    out[0] = byte(codePoint);
    return 1;
  }
  if (codePoint < 0x800) {
    out[0] = byte(0xC0 | (codePoint >> 6));
    out[1] = byte(0x80 | (codePoint & 0x3F));
    return 2;
  }
  if (codePoint < 0x10000) {
    out[0] = byte(0xE0 | (codePoint >> 12));
    out[1] = byte(0x80 | ((codePoint >> 6) & 0x3F));
    out[2] = byte(0x80 | (codePoint & 0x3F));
    return 3;
  }
  out[0] = byte(0xF0 | (codePoint >> 18));
  out[1] = byte(0x80 | ((codePoint >> 12) & 0x3F));
  out[2] = byte(0x80 | ((codePoint >> 6) & 0x3F));
  out[3] = byte(0x80 | (codePoint & 0x3F));
  return 4;
}
