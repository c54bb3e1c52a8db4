#include "tools/wdxprobe/file_jobs.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// A file manager asks with DelayIfSlow on its drawing thread and, when the
// plug-in defers, again without it from a worker thread.
TValueRef AskAsHostDoes(const TContentPlugin& plugin, const TPluginFileName& name, const TAskedField& field,
                        const TAskOptions& options, std::string& bytes) {
  if (!options.Delay) return AskField(plugin, name, field, 0, options.MaxText, bytes);
  const std::size_t before = bytes.size();
  TValueRef first = AskField(plugin, name, field, DelayIfSlow, options.MaxText, bytes);
  if (first.Result != FieldDelayed) return first;
  bytes.resize(before);
  TValueRef second;
  std::thread worker([&] { second = AskField(plugin, name, field, 0, options.MaxText, bytes); });
  worker.join();
  second.WasDelayed = true;
  return second;
}

} // namespace

void AskAll(const TContentPlugin& plugin, const std::vector<TColumn>& columns, const TAskOptions& options,
            TResults& results) {
  results.Columns = columns.size();
  results.Values.resize(results.Jobs.size() * columns.size());
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> done{0};
  auto work = [&] {
    TPluginFileName name; // once per file, not per value, in memory kept from file to file
    for (std::size_t i = next++; i < results.Jobs.size(); i = next++) {
      TFileJob& job = results.Jobs[i];
      SetPluginFileName(name, job.Path);
      for (std::size_t column = 0; column < columns.size(); ++column) {
        results.Values[i * columns.size() + column] =
            AskAsHostDoes(plugin, name, columns[column].Asked, options, job.Bytes);
      }
      ++done;
    }
  };
  const bool showProgress = StandardErrorIsTerminal() && results.Jobs.size() >= 50;
  std::vector<std::thread> threads;
  for (unsigned t = 1; t < std::max(1u, options.Threads); ++t) threads.emplace_back(work);
  if (showProgress) {
    threads.emplace_back(work);
    while (done < results.Jobs.size()) {
      std::fprintf(stderr, "\r%zu of %zu files", done.load(), results.Jobs.size());
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  } else {
    work(); // the main thread is one of the workers
  }
  for (auto& thread : threads) thread.join();
  if (showProgress) std::fprintf(stderr, "\r%zu of %zu files\n", results.Jobs.size(), results.Jobs.size());
}
