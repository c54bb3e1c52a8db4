// The four functions the host finds by name. Each checks nothing itself and
// lets nothing escape: the host receives an integer code, never an exception.
#include "plugin/catalogue.h"
#include "plugin/contplug.h"
#include "plugin/value_request.h"

namespace {

// The interface's UTF-16 unit (wchar_t on Windows, a 16-bit integer on Linux)
// is the same code unit as the char16_t that the code below it works with.
static_assert(sizeof(WideChar) == sizeof(char16_t));
const char16_t* Utf16Name(const WideChar* name) { return reinterpret_cast<const char16_t*>(name); }

} // namespace

extern "C" {

void KORVEL_CALL ContentGetDetectString(char* DetectString, int MaxLen) {
  CopyTextToBuffer(DetectExpression, DetectString, MaxLen);
}

int KORVEL_CALL ContentGetSupportedField(int FieldIndex, char* FieldName, char* Units, int MaxLen) {
  return DescribeField(FieldIndex, FieldName, Units, MaxLen);
}

int KORVEL_CALL ContentGetValueW(const WideChar* FileName, int FieldIndex, int /*UnitIndex*/,
                                 void* FieldValue, int MaxLen, int Flags) {
  try {
    return AnswerValueRequest(Utf16Name(FileName), FieldIndex, FieldValue, MaxLen, Flags);
  } catch (...) {
    return FieldEmpty;
  }
}

int KORVEL_CALL ContentGetValue(const char* FileName, int FieldIndex, int /*UnitIndex*/, void* FieldValue,
                                int MaxLen, int Flags) {
  try {
    return AnswerValueRequest(FileName, FieldIndex, FieldValue, MaxLen, Flags);
  } catch (...) {
    return FieldEmpty;
  }
}

} // extern "C"
