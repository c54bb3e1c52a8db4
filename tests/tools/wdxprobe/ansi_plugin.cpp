// A plug-in with the 8-bit exports only, whose one field is the file name it
// was given, byte for byte: the command-line host must give it names in the
// system's 8-bit code page (ANSI on Windows, UTF-8 on Linux).
#include "plugin/contplug.h"

#include <cstring>

extern "C" {

KORVEL_EXPORT void KORVEL_CALL ContentGetDetectString(char* DetectString, int MaxLen) {
  if (MaxLen > 9) std::strcpy(DetectString, "EXT=\"PDB\"");
}

KORVEL_EXPORT int KORVEL_CALL ContentGetSupportedField(int FieldIndex, char* FieldName, char* Units,
                                                       int MaxLen) {
  if (FieldIndex != 0 || MaxLen < 5) return FieldNoMoreFields;
  std::strcpy(FieldName, "Name");
  Units[0] = 0;
  return FieldTypeString;
}

KORVEL_EXPORT int KORVEL_CALL ContentGetValue(const char* FileName, int FieldIndex, int, void* FieldValue,
                                              int MaxLen, int) {
  if (FieldIndex != 0 || FileName == nullptr || MaxLen < 1) return FieldNoSuchField;
  const char* name = std::strrchr(FileName, '\\');
  if (name == nullptr) name = std::strrchr(FileName, '/');
  name = name == nullptr ? FileName : name + 1;
  std::strncpy(static_cast<char*>(FieldValue), name, static_cast<std::size_t>(MaxLen) - 1);
  static_cast<char*>(FieldValue)[MaxLen - 1] = 0;
  return FieldTypeString;
}

} // extern "C"
