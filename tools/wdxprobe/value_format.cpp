#include "tools/wdxprobe/value_format.h"
#include "pdb/system/utf.h"
#include "tools/wdxprobe/interface.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstring>

namespace {

template <typename T> T Read(std::string_view bytes) {
  T value{};
  std::memcpy(&value, bytes.data(), std::min(sizeof value, bytes.size()));
  return value;
}

template <typename Number> void AppendNumber(std::string& out, Number value) {
  char digits[32];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

// At least `width` digits, zeros in front.
void AppendPadded(std::string& out, unsigned value, std::size_t width) {
  char digits[16];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  const auto length = static_cast<std::size_t>(end - digits);
  if (length < width) out.append(width - length, '0');
  out.append(digits, length);
}

// Writes `value` as exactly `width` digits (the lowest ones) ending before `end`.
char* PutDigits(char* end, unsigned value, int width) {
  for (int i = 0; i < width; ++i) {
    *--end = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return end;
}

// Three 16-bit words joined by a separator, as dates and times are given;
// the first gets `firstWidth` digits, or more when it has more.
void AppendWords(std::string& out, std::string_view bytes, char separator, std::size_t firstWidth) {
  std::uint16_t words[3] = {};
  std::memcpy(words, bytes.data(), std::min(sizeof words, bytes.size()));
  if (words[0] >= 10000 || words[1] >= 100 || words[2] >= 100) { // not a calendar date or clock time
    AppendPadded(out, words[0], firstWidth);
    out += separator;
    AppendPadded(out, words[1], 2);
    out += separator;
    AppendPadded(out, words[2], 2);
    return;
  }
  char text[10];
  char* end = text + sizeof text;
  end = PutDigits(end, words[2], 2) - 1;
  *end = separator;
  end = PutDigits(end, words[1], 2) - 1;
  *end = separator;
  const int first = firstWidth == 4 || words[0] >= 100 ? 4 : 2;
  char* start = PutDigits(end, words[0], first);
  out.append(start, text + sizeof text);
}

void AppendUtf8(std::string& out, char32_t codePoint) {
  char bytes[4];
  out.append(bytes, EncodeUtf8(codePoint, bytes));
}

// Calls `visit(codePoint, shown)` for each character of the text, `shown`
// being its UTF-8 bytes; a byte that belongs to no well-formed sequence comes
// as U+FFFD.
template <typename Visit> void ForEachCharacter(std::string_view text, Visit visit) {
  for (std::size_t i = 0; i < text.size();) {
    char32_t codePoint = 0;
    const std::size_t length = DecodeUtf8(text.substr(i), codePoint);
    if (length == 0) {
      visit(char32_t{0xFFFD}, ReplacementCharacter);
      ++i;
      continue;
    }
    visit(codePoint, text.substr(i, length));
    i += length;
  }
}

// C0 controls, DEL and C1 controls: what moves a terminal's cursor, clears
// it or starts an escape sequence.
bool IsControl(char32_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

// Unicode's format characters (general category Cf): invisible, and the
// bidirectional ones reorder the rest of a line on terminals that honour them.
bool IsFormat(char32_t c) {
  return c == 0xAD || (c >= 0x600 && c <= 0x605) || c == 0x61C || c == 0x6DD || c == 0x70F || c == 0x890 ||
         c == 0x891 || c == 0x8E2 || c == 0x180E || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) || (c >= 0x2066 && c <= 0x206F) ||
         c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB) || c == 0x110BD || c == 0x110CD ||
         (c >= 0x13430 && c <= 0x1343F) || (c >= 0x1BCA0 && c <= 0x1BCA3) || (c >= 0x1D173 && c <= 0x1D17A) ||
         c == 0xE0001 || (c >= 0xE0020 && c <= 0xE007F);
}

// \u and four hex digits, or \U and eight past U+FFFF.
void AppendEscaped(std::string& out, char32_t codePoint) {
  const bool wide = codePoint > 0xFFFF;
  char digits[8];
  for (int i = wide ? 7 : 3; i >= 0; --i, codePoint >>= 4) digits[i] = "0123456789abcdef"[codePoint & 15];
  out += wide ? "\\U" : "\\u";
  out.append(digits, wide ? 8 : 4);
}

// UTF-16 as shown: a surrogate without its partner is U+FFFD.
void AppendWideText(std::string& out, std::string_view bytes) {
  const std::size_t units = bytes.size() / 2;
  for (std::size_t i = 0; i < units; ++i) {
    const char32_t unit = Read<std::uint16_t>(bytes.substr(i * 2, 2));
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && i + 1 < units) {
      const char32_t next = Read<std::uint16_t>(bytes.substr((i + 1) * 2, 2));
      if (next >= 0xDC00 && next <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, high || low ? 0xFFFD : unit);
  }
}

bool IsWide(char32_t c) {
  return (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) ||
         (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) ||
         (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
         (c >= 0xFF00 && c <= 0xFF60) || (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
         (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
}

bool IsCombining(char32_t c) {
  return (c >= 0x0300 && c <= 0x036F) || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) ||
         (c >= 0x20D0 && c <= 0x20FF) || (c >= 0xFE20 && c <= 0xFE2F) || c == 0x200B || c == 0x200D;
}

} // namespace

std::string_view ResultWord(int result) {
  switch (result) {
  case FieldDelayed:
    return "delayed";
  case FieldNoSuchField:
    return "no such field";
  case FieldFileError:
    return "file error";
  case FieldEmpty:
    return "empty";
  case FieldOnDemand:
    return "on demand";
  case FieldNotSupported:
    return "not supported";
  case FieldSetCancel:
    return "cancelled";
  default:
    return {};
  }
}

void AppendFileTime(std::string& out, std::uint64_t fileTime) {
  using namespace std::chrono;
  constexpr std::uint64_t TicksPerSecond = 10'000'000;
  constexpr sys_days Epoch = year{1601} / January / 1;
  const std::uint64_t seconds = fileTime / TicksPerSecond;
  const auto dayCount = static_cast<int>(seconds / 86400);
  const year_month_day date{Epoch + days{dayCount}};
  const auto secondOfDay = static_cast<unsigned>(seconds % 86400);
  AppendPadded(out, static_cast<unsigned>(static_cast<int>(date.year())), 4);
  out += '-';
  AppendPadded(out, static_cast<unsigned>(date.month()), 2);
  out += '-';
  AppendPadded(out, static_cast<unsigned>(date.day()), 2);
  out += 'T';
  AppendPadded(out, secondOfDay / 3600, 2);
  out += ':';
  AppendPadded(out, secondOfDay / 60 % 60, 2);
  out += ':';
  AppendPadded(out, secondOfDay % 60, 2);
  if (const auto ticks = static_cast<unsigned>(fileTime % TicksPerSecond); ticks != 0) {
    std::string fraction;
    AppendPadded(fraction, ticks, 7);
    while (fraction.back() == '0') fraction.pop_back();
    out += '.';
    out += fraction;
  }
  out += 'Z';
}

void AppendShown(std::string& out, int result, std::string_view bytes) {
  const TValueType* type = ValueTypeOf(result);
  if (type == nullptr) {
    if (const std::string_view word = ResultWord(result); !word.empty()) {
      out += word;
    } else {
      out += "code ";
      AppendNumber(out, result);
    }
    return;
  }
  switch (type->Layout) {
  case TValueLayout::Text:
    out += bytes;
    return;
  case TValueLayout::WideText:
    AppendWideText(out, bytes);
    return;
  case TValueLayout::Date:
    AppendWords(out, bytes, '-', 4);
    return;
  case TValueLayout::Time:
    AppendWords(out, bytes, ':', 2);
    return;
  case TValueLayout::Int32:
    AppendNumber(out, Read<std::int32_t>(bytes));
    return;
  case TValueLayout::Int64:
    AppendNumber(out, Read<std::int64_t>(bytes));
    return;
  case TValueLayout::Float:
    if (bytes.size() > 8) {
      out += bytes.substr(8); // the plug-in's own text for the number
    } else {
      AppendNumber(out, Read<double>(bytes));
    }
    return;
  case TValueLayout::Boolean:
    out += Read<std::int32_t>(bytes) != 0 ? "true" : "false";
    return;
  case TValueLayout::FileTime:
    AppendFileTime(out, Read<std::uint64_t>(bytes));
    return;
  }
}

void AppendHex(std::string& out, std::string_view bytes) {
  static constexpr char Digits[] = "0123456789abcdef";
  for (const char c : bytes) {
    const auto value = static_cast<unsigned char>(c);
    out += Digits[value >> 4];
    out += Digits[value & 15];
  }
}

void AppendValidUtf8(std::string& out, std::string_view text) {
  ForEachCharacter(text, [&](char32_t, std::string_view shown) { out += shown; });
}

void AppendVisible(std::string& out, std::string_view text, std::string_view keptControls) {
  if (std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; })) {
    out += text; // most cells
    return;
  }
  ForEachCharacter(text, [&](char32_t codePoint, std::string_view shown) {
    const bool kept =
        codePoint < 0x80 && keptControls.find(static_cast<char>(codePoint)) != std::string_view::npos;
    if ((IsControl(codePoint) && !kept) || IsFormat(codePoint)) {
      AppendEscaped(out, codePoint);
    } else {
      out += shown;
    }
  });
}

void AppendJsonEscapingControls(std::string& out, std::string_view json) {
  // In valid UTF-8, 0x7F is DEL and C2 80..C2 9F are the C1 controls; the
  // JSON text is valid UTF-8, and JSON allows \u escapes for any character.
  for (std::size_t i = 0; i < json.size(); ++i) {
    const auto byte = static_cast<unsigned char>(json[i]);
    if (byte == 0x7F) {
      AppendEscaped(out, byte);
    } else if (byte == 0xC2 && i + 1 < json.size() && static_cast<unsigned char>(json[i + 1]) <= 0x9F) {
      AppendEscaped(out, static_cast<unsigned char>(json[++i]));
    } else {
      out += json[i];
    }
  }
}

std::size_t DisplayWidth(std::string_view utf8) {
  if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    return utf8.size(); // most cells
  }
  std::size_t width = 0;
  ForEachCharacter(utf8, [&](char32_t codePoint, std::string_view) {
    width += IsCombining(codePoint) ? 0u : IsWide(codePoint) ? 2u : 1u;
  });
  return width;
}

std::string Visible(std::string_view text) {
  std::string shown;
  AppendVisible(shown, text);
  return shown;
}
