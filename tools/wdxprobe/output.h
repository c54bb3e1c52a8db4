// wdxprobe's output: what the plug-in lists, and the values it gave.
#pragma once

#include "tools/wdxprobe/file_jobs.h"

#include <string>
#include <vector>

// The detect string and the fields: index, name, type, flags and default
// sort order where the plug-in exports them, units; on stdout.
void PrintList(const TContentPlugin& plugin, const std::vector<TFieldInfo>& fields);

// One line per file, a column per field, each padded to its column's display
// width; control and format characters escaped.
void PrintTable(const std::vector<TColumn>& columns, const TResults& results, std::string& out);

// RFC 4180: quoted where needed, CR LF line ends; tabs and line feeds kept
// inside quotes, other control and format characters escaped.
void PrintCsv(const std::vector<TColumn>& columns, const TResults& results, std::string& out);

// One JSON object per file: result codes, value bytes in hex, values as shown.
void PrintJson(const std::vector<TColumn>& columns, const TResults& results, std::string& out);
