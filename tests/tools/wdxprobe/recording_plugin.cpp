// A content plug-in for testing hosts: it has a field of every value type,
// units, a full text in both widths, flags and sort orders, and it writes
// down what the host tells it (settings path, interface version, full-text
// offsets, stop and unload calls) in the file named by KORVEL_RECORDING_LOG.
// Every value is a constant written here, so a test knows what to expect.
#include "tools/wdxprobe/interface.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct TField {
  const char* Name;
  int Type;
  const char* Units;
};

const TField Fields[] = {
    {"IniPath", FieldTypeString, ""},     {"Interface", FieldTypeString, ""},
    {"Count", FieldTypeInt, "one|dozen"}, {"Big", FieldTypeInt64, ""},
    {"Ratio", FieldTypeFloat, ""},        {"Size", FieldTypeFloat, ""},
    {"Day", FieldTypeDate, ""},           {"Clock", FieldTypeTime, ""},
    {"Flag", FieldTypeBoolean, ""},       {"Mode", FieldTypeMultipleChoice, "alpha|beta|gamma"},
    {"Wide", FieldTypeWideString, ""},    {"Stamp", FieldTypeDateTime, ""},
    {"Story", FieldTypeFullText, ""},     {"StoryW", FieldTypeFullTextWide, ""},
    {"Result", FieldTypeString, ""},
};
constexpr int FieldCount = sizeof Fields / sizeof Fields[0];

std::string IniPath = "(not told)";
std::string Interface = "(not told)";

void Record(const std::string& line) {
  const char* log = std::getenv("KORVEL_RECORDING_LOG");
  if (log == nullptr) return;
  if (std::FILE* file = std::fopen(log, "a")) {
    std::fprintf(file, "%s\n", line.c_str());
    std::fclose(file);
  }
}

// The full texts: lines "line 1", "line 2", ... up to this many bytes.
constexpr std::size_t StoryBytes = 5000;
std::string Story() {
  std::string text;
  for (int line = 1; text.size() < StoryBytes; ++line) text += "line " + std::to_string(line) + "\n";
  text.resize(StoryBytes);
  return text;
}

int CopyText(const std::string& text, void* value, int size) {
  std::snprintf(static_cast<char*>(value), static_cast<std::size_t>(size), "%s", text.c_str());
  return FieldTypeString;
}

int Answer(const std::string& fileName, int index, int unit, void* value, int size) {
  if (index < 0 || index >= FieldCount) return FieldNoSuchField;
  char* out = static_cast<char*>(value);
  switch (index) {
  case 0:
    return CopyText(IniPath, value, size);
  case 1:
    return CopyText(Interface, value, size);
  case 2: {
    const std::int32_t count = unit == 1 ? -12 : 7;
    std::memcpy(out, &count, sizeof count);
    return FieldTypeInt;
  }
  case 3: {
    const std::int64_t big = -1234567890123;
    std::memcpy(out, &big, sizeof big);
    return FieldTypeInt64;
  }
  case 4: {
    const double ratio = 0.25;
    std::memcpy(out, &ratio, sizeof ratio);
    out[8] = '\0';
    return FieldTypeFloat;
  }
  case 5: { // the number, and the text to show for it
    const double megabytes = 1.5;
    std::memcpy(out, &megabytes, sizeof megabytes);
    std::strcpy(out + 8, "1.5 MB");
    return FieldTypeFloat;
  }
  case 6: {
    const FieldDate day{2024, 2, 29};
    std::memcpy(out, &day, sizeof day);
    return FieldTypeDate;
  }
  case 7: {
    const std::uint16_t clock[3] = {23, 59, 8};
    std::memcpy(out, clock, sizeof clock);
    return FieldTypeTime;
  }
  case 8: {
    const std::int32_t flag = 1;
    std::memcpy(out, &flag, sizeof flag);
    return FieldTypeBoolean;
  }
  case 9:
    std::strcpy(out, "beta");
    return FieldTypeMultipleChoice;
  case 10: { // "Grüße 日本 𝄞", the last one a surrogate pair
    const char16_t wide[] = u"Gr\u00FC\u00DFe \u65E5\u672C \U0001D11E";
    std::memcpy(out, wide, sizeof wide);
    return FieldTypeWideString;
  }
  case 11: {
    // 2024-05-06 07:08:09.5 UTC: 154,623 days from 1601-01-01 to 2024-05-06.
    const std::uint64_t stamp = ((154623ull * 86400 + 7 * 3600 + 8 * 60 + 9) * 10'000'000) + 5'000'000;
    std::memcpy(out, &stamp, sizeof stamp);
    return FieldTypeDateTime;
  }
  case 12:
  case 13: {
    Record("fulltext " + std::string(Fields[index].Name) + " offset " + std::to_string(unit));
    if (unit == FullTextRelease) return FieldEmpty;
    static const std::string story = Story();
    const bool wide = index == 13;
    const std::size_t unitSize = wide ? 2 : 1;
    const std::size_t offset = static_cast<std::size_t>(unit) / unitSize; // in characters
    if (offset >= story.size()) return FieldEmpty;
    // Pieces of at most 1000 characters, whatever the buffer, so that a host must ask more than once.
    const std::size_t room = static_cast<std::size_t>(size) / unitSize - 1;
    const std::size_t count = std::min({story.size() - offset, room, std::size_t{1000}});
    for (std::size_t i = 0; i < count; ++i) {
      if (wide) {
        const char16_t unitValue = static_cast<unsigned char>(story[offset + i]);
        std::memcpy(out + i * 2, &unitValue, 2);
      } else {
        out[i] = story[offset + i];
      }
    }
    std::memset(out + count * unitSize, 0, unitSize);
    return wide ? FieldTypeFullTextWide : FieldTypeFullText;
  }
  default: { // Result: the code named by the file's name, "code-5.rec" gives -5
    const std::size_t dash = fileName.rfind("code-");
    if (dash == std::string::npos) return CopyText("no code", value, size);
    return -std::atoi(fileName.c_str() + dash + 5);
  }
  }
}

std::string Narrow(const WideChar* name) {
  std::string text;
  for (; *name != 0; ++name) text += static_cast<char>(*name < 0x80 ? *name : '?');
  return text;
}

} // namespace

extern "C" {

KORVEL_EXPORT void KORVEL_CALL ContentGetDetectString(char* DetectString, int MaxLen) {
  std::snprintf(DetectString, static_cast<std::size_t>(MaxLen), "%s", R"(EXT="REC")");
}

KORVEL_EXPORT int KORVEL_CALL ContentGetSupportedField(int FieldIndex, char* FieldName, char* Units,
                                                       int MaxLen) {
  if (FieldIndex < 0 || FieldIndex >= FieldCount) return FieldNoMoreFields;
  std::snprintf(FieldName, static_cast<std::size_t>(MaxLen), "%s", Fields[FieldIndex].Name);
  std::snprintf(Units, static_cast<std::size_t>(MaxLen), "%s", Fields[FieldIndex].Units);
  return Fields[FieldIndex].Type;
}

KORVEL_EXPORT int KORVEL_CALL ContentGetValue(const char* FileName, int FieldIndex, int UnitIndex,
                                              void* FieldValue, int MaxLen, int /*Flags*/) {
  return Answer(FileName, FieldIndex, UnitIndex, FieldValue, MaxLen);
}

KORVEL_EXPORT int KORVEL_CALL ContentGetValueW(const WideChar* FileName, int FieldIndex, int UnitIndex,
                                               void* FieldValue, int MaxLen, int /*Flags*/) {
  return Answer(Narrow(FileName), FieldIndex, UnitIndex, FieldValue, MaxLen);
}

KORVEL_EXPORT void KORVEL_CALL ContentSetDefaultParams(ContentDefaultParamStruct* params) {
  IniPath = params->DefaultIniName;
  Interface = std::to_string(params->PluginInterfaceVersionHi) + "." +
              std::to_string(params->PluginInterfaceVersionLow) + " size " + std::to_string(params->Size);
  Record("params " + Interface + " " + IniPath);
}

KORVEL_EXPORT void KORVEL_CALL ContentPluginUnloading() { Record("unloading"); }

KORVEL_EXPORT void KORVEL_CALL ContentStopGetValueW(const WideChar* FileName) {
  Record("stop " + Narrow(FileName));
}

KORVEL_EXPORT int KORVEL_CALL ContentGetSupportedFieldFlags(int FieldIndex) {
  if (FieldIndex == -1) return FieldFlagEdit | 2;
  return FieldIndex == 5 ? 2 : 0; // Size may stand in for the file's size
}

KORVEL_EXPORT int KORVEL_CALL ContentGetDefaultSortOrder(int FieldIndex) { return FieldIndex == 11 ? -1 : 1; }

} // extern "C"
