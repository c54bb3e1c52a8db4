// Answering a host's request for one field of one file. UTF-16 names are
// char16_t here, as below; the exports convert the interface's type.
#pragma once

// True when the file name's extension, lowered, holds "pdb" or "prc". The
// extension runs from the last dot after the last backslash and colon; a
// forward slash is an ordinary character. A null name has no extension.
bool ExtensionMatches(const char16_t* fileName);

// Answers a request: FieldTypeString or FieldTypeDate with the value written
// into `value`, or FieldDelayed, FieldNoSuchField or FieldEmpty with nothing written.
int AnswerValueRequest(const char16_t* fileName, int fieldIndex, void* value, int size, int flags);

// The same for an 8-bit file name in the system's code page.
int AnswerValueRequest(const char* fileName, int fieldIndex, void* value, int size, int flags);
