// The four functions the host finds by name. Each checks nothing itself and
// lets nothing escape: the host receives an integer code, never an exception.
#include "plugin/catalogue.h"
#include "plugin/contplug.h"
#include "plugin/value_request.h"

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
    return AnswerValueRequest(FileName, FieldIndex, FieldValue, MaxLen, Flags);
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
