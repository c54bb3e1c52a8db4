// What one value request costs, against two floors: opening a file, reading
// its first 78 bytes and closing it with the system's plain calls; and the
// same with the checks the plug-in makes that it is a regular file (a stat
// before the open, an fstat after it), so that the ratio to the second is
// the plug-in's own overhead. The
// plug-in is loaded from its file as a host loads it. Every heap allocation
// in the process is counted, the plug-in's own included.
//
// Usage: korvel_request_bench [--summary FILE] [benchmark options]
// Prints the ratios and allocations per request, and with --summary writes
// them as a Markdown table.
#include "plugin/contplug.h"
#include "tools/palm-samples/palm_encoder.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
}

namespace {

std::atomic<long> Allocations{0};

} // namespace

// Every allocation of the process, C++ and C alike, passes through here.
extern "C" void* malloc(std::size_t size) {
  Allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_malloc(size);
}
extern "C" void* calloc(std::size_t count, std::size_t size) {
  Allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_calloc(count, size);
}
extern "C" void* realloc(void* block, std::size_t size) {
  Allocations.fetch_add(1, std::memory_order_relaxed);
  return __libc_realloc(block, size);
}
extern "C" void free(void* block) { __libc_free(block); }

namespace fs = std::filesystem;

namespace {

ContentGetValueWFunc GetValueW;
ContentGetValueFunc GetValue;
std::string HotPath;
std::vector<WideChar> HotPathWide;
std::vector<WideChar> AccentedPathWide; // a name stored as a Western handheld stores it
std::vector<WideChar> DeepPathWide;     // a path of 260 units or more, which goes to the heap

void LoadPlugin() {
  void* module = ::dlopen(KORVEL_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    std::fprintf(stderr, "cannot load %s: %s\n", KORVEL_PLUGIN_PATH, ::dlerror());
    std::exit(2);
  }
  GetValueW = reinterpret_cast<ContentGetValueWFunc>(::dlsym(module, "ContentGetValueW"));
  GetValue = reinterpret_cast<ContentGetValueFunc>(::dlsym(module, "ContentGetValue"));
}

void MakeHotFile() {
  const fs::path folder = fs::temp_directory_path() / "korvel-bench";
  fs::create_directories(folder);
  const fs::path path = folder / "MemoDB.pdb";
  TSampleHeader header;
  header.Name = "MemoDB";
  header.DBType = "DATA";
  header.CreatorID = "memo";
  header.NumRecords = 258;
  header.Created = 0xB982A9E5;
  const std::string bytes = EncodePalmDatabase(header, false);
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  HotPath = path.string();
  HotPathWide.assign(HotPath.begin(), HotPath.end()); // an ASCII path
  HotPathWide.push_back(0);

  header.Name = "Caf\xE9 M\xFCller"; // Windows-1252
  const fs::path accented = folder / "Cafe.pdb";
  const std::string accentedBytes = EncodePalmDatabase(header, false);
  std::ofstream(accented, std::ios::binary)
      .write(accentedBytes.data(), static_cast<std::streamsize>(accentedBytes.size()));
  const std::string accentedPath = accented.string();
  AccentedPathWide.assign(accentedPath.begin(), accentedPath.end());
  AccentedPathWide.push_back(0);

  fs::path deep = folder;
  while (deep.native().size() < 300) deep /= std::string(60, 'd');
  fs::create_directories(deep);
  deep /= "MemoDB.pdb";
  fs::copy_file(path, deep, fs::copy_options::overwrite_existing);
  const std::string deepPath = deep.string();
  DeepPathWide.assign(deepPath.begin(), deepPath.end());
  DeepPathWide.push_back(0);
}

void Floor(benchmark::State& state) {
  unsigned char buffer[78];
  for (auto _ : state) {
    const int fd = ::open(HotPath.c_str(), O_RDONLY | O_CLOEXEC);
    benchmark::DoNotOptimize(::read(fd, buffer, sizeof buffer));
    ::close(fd);
  }
}

void CheckedFloor(benchmark::State& state) {
  unsigned char buffer[78];
  struct stat status;
  for (auto _ : state) {
    benchmark::DoNotOptimize(::stat(HotPath.c_str(), &status));
    const int fd = ::open(HotPath.c_str(), O_RDONLY | O_CLOEXEC);
    benchmark::DoNotOptimize(::fstat(fd, &status));
    benchmark::DoNotOptimize(::read(fd, buffer, sizeof buffer));
    ::close(fd);
  }
}

template <int Field> void ValueW(benchmark::State& state) {
  char value[256];
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetValueW(HotPathWide.data(), Field, 0, value, sizeof value, 0));
  }
}

void ValueWAccented(benchmark::State& state) {
  char value[256];
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetValueW(AccentedPathWide.data(), 0, 0, value, sizeof value, 0));
  }
}

void ValueWDeep(benchmark::State& state) {
  char value[256];
  for (auto _ : state) benchmark::DoNotOptimize(GetValueW(DeepPathWide.data(), 6, 0, value, sizeof value, 0));
}

void Value8Text(benchmark::State& state) {
  char value[256];
  for (auto _ : state) benchmark::DoNotOptimize(GetValue(HotPath.c_str(), 6, 0, value, sizeof value, 0));
}

BENCHMARK(Floor)->Name("floor: open, read 78 bytes, close");
BENCHMARK(CheckedFloor)->Name("floor with the checks: stat, open, fstat, read 78 bytes, close");
BENCHMARK(ValueW<6>)->Name("ContentGetValueW, text (NumRecords)");
BENCHMARK(ValueW<3>)->Name("ContentGetValueW, date (DataCreated)");
BENCHMARK(ValueW<0>)->Name("ContentGetValueW, ASCII name (DBName)");
BENCHMARK(ValueWAccented)->Name("ContentGetValueW, accented name (DBName, Windows-1252)");
BENCHMARK(Value8Text)->Name("ContentGetValue, text (NumRecords)");
BENCHMARK(ValueWDeep)->Name("ContentGetValueW, path of 300 units or more (NumRecords)");

// Heap allocations per request, over many requests after a warm-up.
template <typename Request> double AllocationsPerRequest(Request request) {
  constexpr int Requests = 20000;
  for (int i = 0; i < 100; ++i) request();
  const long before = Allocations.load();
  for (int i = 0; i < Requests; ++i) request();
  return static_cast<double>(Allocations.load() - before) / Requests;
}

} // namespace

int main(int argc, char** argv) {
  std::string summaryPath;
  std::vector<char*> arguments;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--summary") == 0 && i + 1 < argc) {
      summaryPath = argv[++i];
    } else {
      arguments.push_back(argv[i]);
    }
  }
  // Side by side and repeated in random interleaving, so that each
  // repetition of a request has a repetition of the floor measured close by;
  // the median of those pairwise ratios is the figure least disturbed by
  // whatever else the machine does.
  const std::string resultFile = (fs::temp_directory_path() / "korvel-bench" / "results.json").string();
  std::string out = "--benchmark_out=" + resultFile;
  std::string format = "--benchmark_out_format=json";
  std::string repetitions = "--benchmark_repetitions=25";
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  arguments.insert(arguments.begin() + 1, {repetitions.data(), interleave.data(), out.data(), format.data()});
  int count = static_cast<int>(arguments.size());
  // A Western user's locale: names that are not UTF-8 are read as Windows-1252.
  ::setenv("LC_ALL", "C.UTF-8", 1);
  LoadPlugin();
  MakeHotFile();
  benchmark::Initialize(&count, arguments.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  std::map<std::string, std::vector<double>> times; // by repetition
  const nlohmann::json results = nlohmann::json::parse(std::ifstream(resultFile));
  for (const auto& run : results["benchmarks"]) {
    if (run.value("run_type", "") != "iteration") continue;
    auto& list = times[run["run_name"].get<std::string>()];
    const auto repetition = run["repetition_index"].get<std::size_t>();
    if (list.size() <= repetition) list.resize(repetition + 1);
    list[repetition] = run["real_time"].get<double>();
  }
  auto median = [](std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
  };
  const std::string bareFloor = "floor: open, read 78 bytes, close";
  const std::string checkedFloor = "floor with the checks: stat, open, fstat, read 78 bytes, close";
  auto medianRatio = [&](const std::string& name, const std::string& floorName) {
    const std::vector<double>& floorTimes = times[floorName];
    std::vector<double> ratios;
    for (std::size_t i = 0; i < floorTimes.size() && i < times[name].size(); ++i) {
      ratios.push_back(times[name][i] / floorTimes[i]);
    }
    return median(ratios);
  };
  char value[256];
  struct Row {
    const char* Name;
    double Target;
    double Allocations;
  };
  // Target 0: measured and shown, no target.
  const Row rows[] = {
      {"ContentGetValueW, text (NumRecords)", 1.10,
       AllocationsPerRequest([&] { GetValueW(HotPathWide.data(), 6, 0, value, sizeof value, 0); })},
      {"ContentGetValueW, date (DataCreated)", 1.10,
       AllocationsPerRequest([&] { GetValueW(HotPathWide.data(), 3, 0, value, sizeof value, 0); })},
      {"ContentGetValue, text (NumRecords)", 1.15,
       AllocationsPerRequest([&] { GetValue(HotPath.c_str(), 6, 0, value, sizeof value, 0); })},
      {"ContentGetValueW, ASCII name (DBName)", 1.10,
       AllocationsPerRequest([&] { GetValueW(HotPathWide.data(), 0, 0, value, sizeof value, 0); })},
      {"ContentGetValueW, accented name (DBName, Windows-1252)", 0,
       AllocationsPerRequest([&] { GetValueW(AccentedPathWide.data(), 0, 0, value, sizeof value, 0); })},
      {"ContentGetValueW, path of 300 units or more (NumRecords)", 0,
       AllocationsPerRequest([&] { GetValueW(DeepPathWide.data(), 6, 0, value, sizeof value, 0); })},
  };
  std::string table = "| request | median time (ns) | median ratio to the floor | median ratio to the floor "
                      "with the checks | target (with the checks) | heap allocations per request |\n"
                      "|---|---|---|---|---|---|\n";
  char line[512];
  std::snprintf(line, sizeof line, "| %s | %.0f | 1.00 | %.3f | | |\n", bareFloor.c_str(),
                median(times[bareFloor]), medianRatio(bareFloor, checkedFloor));
  table += line;
  std::snprintf(line, sizeof line, "| %s | %.0f | %.3f | 1.00 | | |\n", checkedFloor.c_str(),
                median(times[checkedFloor]), medianRatio(checkedFloor, bareFloor));
  table += line;
  bool met = true;
  for (const auto& row : rows) {
    const double ratio = medianRatio(row.Name, checkedFloor);
    char target[32] = "none";
    if (row.Target > 0) {
      met = met && ratio <= row.Target && row.Allocations == 0;
      std::snprintf(target, sizeof target, "at most %.2f", row.Target);
    }
    std::snprintf(line, sizeof line, "| %s | %.0f | %.3f | %.3f | %s | %g |\n", row.Name,
                  median(times[row.Name]), medianRatio(row.Name, bareFloor), ratio, target, row.Allocations);
    table += line;
  }
  std::cout << "\n" << table << (met ? "All targets met.\n" : "A target is missed.\n");
  if (!summaryPath.empty()) std::ofstream(summaryPath) << table;
  return 0;
}
