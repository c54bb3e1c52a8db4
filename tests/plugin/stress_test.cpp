// Many threads asking at once while a file changes under them, as in a file
// manager that lists a folder another program is writing to.
#include "tests/support/asking.h"
#include "tools/palm-samples/sample_folder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <map>
#include <thread>

namespace fs = std::filesystem;

namespace {

struct TReply {
  int Result;
  std::string Value; // text, or the 6 date bytes

  bool operator==(const TReply&) const = default;
};

TReply Ask(const fs::path& path, int index, bool wide) {
  const TAnswer answer = wide ? AskW(WideName(path), index) : Ask8(path.string().c_str(), index);
  if (answer.Result == FieldTypeDate) return {answer.Result, DateBytesOf(answer)};
  return {answer.Result, answer.Result == FieldTypeString ? TextOf(answer) : std::string()};
}

struct TSnapshot {
  std::vector<std::uint8_t> Bytes;
  fs::file_time_type Modified;
  bool operator==(const TSnapshot&) const = default;
};

std::map<fs::path, TSnapshot> Snapshot(const std::vector<fs::path>& files) {
  std::map<fs::path, TSnapshot> snapshot;
  for (const auto& file : files) snapshot[file] = {ReadAllBytes(file), fs::last_write_time(file)};
  return snapshot;
}

TEST(Stress, ThreadsAskWhileAFileIsRewritten) {
  const fs::path folder = MakeTestFolder("stress");
  WriteSampleFolder(folder);
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const auto extension = entry.path().extension().string();
    if (extension != ".txt") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());

  // Two versions of the file that keeps changing, differing in every field.
  auto versionOf = [](std::uint16_t n, const char* name, const char* code, const char* creator,
                      std::uint32_t time) {
    return TSampleHeader{.Name = name,
                         .Version = n,
                         .Created = time,
                         .Modified = time,
                         .BackedUp = time,
                         .DBType = code,
                         .CreatorID = creator,
                         .NumRecords = n};
  };
  const TSampleHeader first = versionOf(1, "First", "ONE1", "aaaa", 0xB982A9E5);
  const TSampleHeader second = versionOf(2, "Second", "TWO2", "bbbb", 0xDC562161);
  const fs::path changing = folder / "Changing.pdb";
  const fs::path firstFile = folder / "first-version.pdb";
  const fs::path secondFile = folder / "second-version.pdb";
  WritePalmFile(firstFile, first, 100);
  WritePalmFile(secondFile, second, 100);
  WritePalmFile(changing, first, 100);

  // The answers of a quiet folder, and of both versions.
  std::map<std::pair<fs::path, int>, TReply> expected;
  std::map<int, std::pair<TReply, TReply>> versions;
  for (int index = 0; index < 8; ++index) {
    for (const auto& file : files) expected[{file, index}] = Ask(file, index, true);
    versions[index] = {Ask(firstFile, index, true), Ask(secondFile, index, true)};
  }
  const auto before = Snapshot(files);

  std::atomic<bool> stop{false};
  std::atomic<int> rewrites{0};
  std::thread writer([&] {
    for (int round = 0; !stop; ++round) {
      const TSampleHeader& version = round % 2 == 0 ? second : first;
      if (round % 4 < 2) {
        WritePalmFile(changing, version, 100); // truncated, then written in place
      } else {
        // Replaced whole, as editors save; refused while a reader holds it on Windows.
        const fs::path temporary = folder / "replacement.tmp";
        WritePalmFile(temporary, version, 100);
        std::error_code ignored;
        fs::rename(temporary, changing, ignored);
      }
      ++rewrites;
    }
  });

  constexpr std::size_t Threads = 8;
  constexpr int RequestsPerThread = 100000 / static_cast<int>(Threads);
  std::vector<std::string> problems(Threads);
  std::vector<std::thread> readers;
  for (std::size_t t = 0; t < Threads; ++t) {
    readers.emplace_back([&, t] {
      for (int i = 0; i < RequestsPerThread && problems[t].empty(); ++i) {
        const int index = (i * 7 + static_cast<int>(t)) % 8;
        const bool wide = (i + static_cast<int>(t)) % 2 == 0;
        const bool askChanging = i % 5 == 0;
        const fs::path& file = askChanging ? changing : files[static_cast<std::size_t>(i / 5) % files.size()];
        const TReply reply = Ask(file, index, wide);
        if (reply.Result != FieldTypeString && reply.Result != FieldTypeDate && reply.Result != FieldEmpty) {
          problems[t] = "code " + std::to_string(reply.Result) + " for " + file.string();
        } else if (askChanging) {
          const auto& [a, b] = versions.at(index);
          if (reply.Result != FieldEmpty && reply != a && reply != b) {
            problems[t] = "torn value '" + reply.Value + "' of field " + std::to_string(index);
          }
        } else if (!(reply == expected.at({file, index}))) {
          problems[t] =
              "wrong value '" + reply.Value + "' of field " + std::to_string(index) + " of " + file.string();
        }
      }
    });
  }
  for (auto& reader : readers) reader.join();
  stop = true;
  writer.join();

  for (std::size_t t = 0; t < Threads; ++t) EXPECT_EQ(problems[t], "") << "thread " << t;
  EXPECT_GT(rewrites.load(), 1);
  EXPECT_TRUE(Snapshot(files) == before) << "a file the plug-in read has changed";
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

} // namespace
