#include "plugin/catalogue.h"

#include <algorithm>

void CopyTextToBuffer(std::string_view text, char* buffer, int size) {
  if (buffer == nullptr || size < 1) return;
  const std::size_t count = std::min(text.size(), static_cast<std::size_t>(size) - 1);
  std::copy_n(text.data(), count, buffer);
  buffer[count] = '\0';
}

int DescribeField(int fieldIndex, char* name, char* units, int size) {
  const TField* field = FieldAt(fieldIndex);
  if (field == nullptr) return FieldNoMoreFields;
  CopyTextToBuffer(field->Name, name, size);
  // No field has units; the units buffer has no size of its own, one NUL always fits.
  if (units != nullptr) units[0] = '\0';
  return field->DeclaredType;
}
