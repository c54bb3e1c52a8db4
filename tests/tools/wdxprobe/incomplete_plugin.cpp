// A plug-in that offers fields but no way to ask for their values: the
// command-line host must refuse it and name what is missing.
#include "plugin/contplug.h"

#include <cstring>

extern "C" KORVEL_EXPORT int KORVEL_CALL ContentGetSupportedField(int FieldIndex, char* FieldName, char*,
                                                                  int MaxLen) {
  if (FieldIndex != 0 || MaxLen < 5) return FieldNoMoreFields;
  std::strcpy(FieldName, "Size");
  return FieldTypeString;
}
