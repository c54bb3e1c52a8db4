// Every file's values, a column each: the files spread over worker threads,
// asked as a file manager asks, with the progress shown on a terminal.
#pragma once

#include "tools/wdxprobe/plugin_module.h"

#include <string>
#include <vector>

// A column of the output: a field and the unit asked for.
struct TColumn {
  TAskedField Asked;
  std::string Title;       // the field's name, with {unit} when one was asked
  const TFieldInfo* Field; // as the plug-in listed it
};

struct TFileJob {
  std::string Path;  // as this program holds paths: a folder argument joined with the path found in it
  std::string Bytes; // every value's bytes, one after the other
};

// The values of all files, file after file, a column each.
struct TResults {
  std::vector<TFileJob> Jobs;
  std::vector<TValueRef> Values;
  std::size_t Columns = 0;

  const TValueRef& Value(std::size_t job, std::size_t column) const { return Values[job * Columns + column]; }
};

// How the values are asked.
struct TAskOptions {
  bool Delay = false; // DelayIfSlow first, then again from a worker thread, as file managers do
  std::size_t MaxText = 64 * 1024;
  unsigned Threads = 1;
};

// Asks every column of every job, spreading the files over the threads, and
// shows the progress on a terminal's stderr for 50 files or more.
void AskAll(const TContentPlugin& plugin, const std::vector<TColumn>& columns, const TAskOptions& options,
            TResults& results);
