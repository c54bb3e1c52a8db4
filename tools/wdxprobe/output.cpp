// wdxprobe's output: the list of fields, and the values of every file as a
// table, as CSV or as JSON lines. Nothing that a terminal would act on
// reaches it from a name, a value or a text of the plug-in.
#include "tools/wdxprobe/output.h"
#include "tools/wdxprobe/value_format.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <iostream>

namespace {

std::string_view TypeName(int type) {
  const TValueType* known = ValueTypeOf(type);
  return known != nullptr ? known->Name : "?";
}

std::string FlagNames(int flags) {
  static constexpr std::string_view Substitutes[] = {
      "", "size", "datetime", "date", "time", "attributes", "attribute string", "size as float"};
  std::string names;
  auto add = [&](std::string_view name) {
    if (!names.empty()) names += ',';
    names += name;
  };
  if ((flags & FieldFlagEdit) != 0) add("edit");
  if ((flags & FieldFlagSubstituteMask) != 0) add(Substitutes[(flags & FieldFlagSubstituteMask) / 2]);
  if ((flags & FieldFlagFieldEdit) != 0) add("fieldedit");
  return names.empty() ? "-" : names;
}

void AppendCell(std::string& out, const TResults& results, std::size_t job, std::size_t column) {
  const TValueRef& value = results.Value(job, column);
  const std::string_view bytes = ValueBytes(results.Jobs[job].Bytes, value);
  // A host reads 8-bit texts in the system's code page: the ANSI one on
  // Windows, the locale's charset on Linux.
  const TValueType* type = ValueTypeOf(value.Result);
  if (type != nullptr && type->Layout == TValueLayout::Text) {
    AppendShown(out, value.Result, Utf8FromSystem(bytes));
    return;
  }
  AppendShown(out, value.Result, bytes);
}

// RFC 4180: a field holding a comma, a quote or a line break is quoted,
// quotes doubled; lines end with CR LF. Tabs and line feeds stay as they
// are, inside the quotes, where spreadsheets read them; a carriage return,
// which alone sends a terminal's cursor back over the line, and every other
// control or format character are shown escaped.
void AppendCsvField(std::string& out, std::string_view text) {
  std::string clean;
  AppendVisible(clean, text, "\t\n");
  if (clean.find_first_of(",\"\r\n") == std::string::npos) {
    out += clean;
    return;
  }
  out += '"';
  for (const char c : clean) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

} // namespace

void PrintList(const TContentPlugin& plugin, const std::vector<TFieldInfo>& fields) {
  std::cout << "Detect string: "
            << (plugin.GetDetectString ? Visible(DetectString(plugin))
                                       : std::string("(no ContentGetDetectString)"))
            << "\n";
  const bool flags = plugin.GetSupportedFieldFlags != nullptr;
  const bool sort = plugin.GetDefaultSortOrder != nullptr;
  std::size_t nameWidth = 4;
  for (const auto& field : fields) nameWidth = std::max(nameWidth, DisplayWidth(Visible(field.Name)));
  auto line = [&](const std::string& index, const std::string& name, const std::string& type,
                  const std::string& flagText, const std::string& sortText, const std::string& units) {
    std::string text(index.size() < 5 ? 5 - index.size() : 0, ' ');
    text += index + "  " + name + std::string(nameWidth - DisplayWidth(name) + 2, ' ');
    text += type + std::string(type.size() < 14 ? 14 - type.size() : 1, ' ');
    if (flags) text += flagText + std::string(flagText.size() < 18 ? 18 - flagText.size() : 1, ' ');
    if (sort) text += sortText + std::string(sortText.size() < 12 ? 12 - sortText.size() : 1, ' ');
    text += units;
    while (!text.empty() && text.back() == ' ') text.pop_back();
    std::cout << text << "\n";
  };
  line("Index", "Name", "Type", "Flags", "Sort", "Units");
  for (const auto& field : fields) {
    const std::string sortText = !sort                                         ? ""
                                 : plugin.GetDefaultSortOrder(field.Index) < 0 ? "descending"
                                                                               : "ascending";
    line(std::to_string(field.Index), Visible(field.Name),
         std::to_string(field.Type) + " " + std::string(TypeName(field.Type)),
         flags ? FlagNames(plugin.GetSupportedFieldFlags(field.Index)) : "", sortText,
         field.Units.empty() ? "(none)" : Visible(JoinedUnits(field)));
  }
  if (flags)
    std::cout << "Flags of the plug-in as a whole: " << FlagNames(plugin.GetSupportedFieldFlags(-1)) << "\n";
}

// The table: every cell formatted once into one buffer, then padded to its
// column's display width.
void PrintTable(const std::vector<TColumn>& columns, const TResults& results, std::string& out) {
  std::string cells;
  std::vector<std::pair<std::size_t, std::size_t>> spans; // offset, length of each cell, row by row
  spans.reserve((results.Jobs.size() + 1) * (columns.size() + 1));
  // One line per file, and nothing a terminal would act on: control
  // characters, line breaks and tabs included, are shown escaped.
  auto add = [&](std::string_view text) {
    const std::size_t start = cells.size();
    AppendVisible(cells, text);
    spans.emplace_back(start, cells.size() - start);
  };
  add("File");
  for (const auto& column : columns) add(column.Title);
  std::string value;
  for (std::size_t job = 0; job < results.Jobs.size(); ++job) {
    add(Utf8NameFromSystem(results.Jobs[job].Path));
    for (std::size_t column = 0; column < columns.size(); ++column) {
      value.clear();
      AppendCell(value, results, job, column);
      add(value);
    }
  }
  const std::size_t perRow = columns.size() + 1;
  std::vector<std::size_t> widths(perRow, 0);
  std::vector<std::size_t> cellWidths(spans.size());
  for (std::size_t i = 0; i < spans.size(); ++i) {
    cellWidths[i] = DisplayWidth(std::string_view(cells).substr(spans[i].first, spans[i].second));
    widths[i % perRow] = std::max(widths[i % perRow], cellWidths[i]);
  }
  for (std::size_t row = 0; row * perRow < spans.size(); ++row) {
    const std::size_t lineStart = out.size();
    for (std::size_t column = 0; column < perRow; ++column) {
      const std::size_t i = row * perRow + column;
      out.append(cells, spans[i].first, spans[i].second);
      if (column + 1 < perRow) out.append(widths[column] - cellWidths[i] + 2, ' ');
    }
    while (out.size() > lineStart && out.back() == ' ') out.pop_back();
    out += '\n';
  }
}

void PrintCsv(const std::vector<TColumn>& columns, const TResults& results, std::string& out) {
  AppendCsvField(out, "File");
  for (const auto& column : columns) {
    out += ',';
    AppendCsvField(out, column.Title);
  }
  out += "\r\n";
  std::string cell;
  for (std::size_t job = 0; job < results.Jobs.size(); ++job) {
    AppendCsvField(out, Utf8NameFromSystem(results.Jobs[job].Path));
    for (std::size_t column = 0; column < columns.size(); ++column) {
      out += ',';
      cell.clear();
      AppendCell(cell, results, job, column);
      AppendCsvField(out, cell);
    }
    out += "\r\n";
  }
}

void PrintJson(const std::vector<TColumn>& columns, const TResults& results, std::string& out) {
  std::string text;
  for (std::size_t job = 0; job < results.Jobs.size(); ++job) {
    nlohmann::ordered_json values = nlohmann::ordered_json::array();
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const TValueRef& value = results.Value(job, i);
      const std::string_view bytes = ValueBytes(results.Jobs[job].Bytes, value);
      text.clear();
      AppendCell(text, results, job, i);
      std::string shown;
      AppendValidUtf8(shown, text);
      std::string hex;
      AppendHex(hex, bytes);
      nlohmann::ordered_json entry = {{"index", columns[i].Asked.FieldIndex},
                                      {"name", columns[i].Field->Name}};
      // A multiple-choice field lists its choices where others list units.
      const TFieldInfo& field = *columns[i].Field;
      if (!field.Units.empty() && field.Type != FieldTypeMultipleChoice) {
        entry["unit"] = field.Units[static_cast<std::size_t>(columns[i].Asked.UnitIndex)];
      }
      entry["result"] = value.Result;
      entry["bytes"] = hex;
      entry["shown"] = shown;
      if (value.WasDelayed) entry["delayed"] = true;
      if (value.Cut) entry["cut"] = true;
      values.push_back(entry);
    }
    // Valid UTF-8 already: a byte that is no character is written out as \udcNN.
    const nlohmann::ordered_json line = {{"file", Utf8NameFromSystem(results.Jobs[job].Path)},
                                         {"fields", values}};
    AppendJsonEscapingControls(out, line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    out += '\n';
  }
}
