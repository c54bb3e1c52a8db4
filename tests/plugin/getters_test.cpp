// The getters on real files through this system's file layer.
#include "plugin/getters.h"
#include "tests/support/palm_file.h"

#include <gtest/gtest.h>

#include <string>

namespace fs = std::filesystem;

namespace {

std::string Text(const TFieldText& text) { return std::string(TextView(text)); }

TEST(Getters, AnswerOnlyTheirOwnFields) {
  const auto folder = MakeTestFolder("getters");
  const auto path = folder / "zeros.pdb";
  const TSampleBytes zeros{};
  WriteBytes(path, zeros.data(), zeros.size());
  const std::u16string name = path.u16string();

  struct Case {
    int Index;
    std::string Text; // what GetHeaderText gives
    double Date;      // what GetHeaderDate gives
  };
  const Case cases[] = {
      {0, std::string(32, '\0') + " ", 0.0},
      {1, " ", 0.0},
      {2, " ", 0.0},
      {3, "", 25569.0},
      {4, "", 25569.0},
      {5, "", 25569.0},
      {6, "0 ", 0.0},
      {7, "0 ", 0.0},
      {-1, "", 0.0},
      {8, "", 0.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Index);
    EXPECT_EQ(Text(GetHeaderText({name.c_str()}, c.Index)), c.Text);
    EXPECT_EQ(GetHeaderDate({name.c_str()}, c.Index), c.Date);
  }
  fs::remove_all(folder);
}

TEST(Getters, ReadOnlyTheFirst78Bytes) {
  const auto folder = MakeTestFolder("getters");
  TSampleHeader header;
  header.NumRecords = 4;
  TPDBRawHeader raw;
  for (const std::size_t extra : {0u, 122u, 100000u}) {
    SCOPED_TRACE(extra);
    const auto path = folder / "file.pdb";
    WritePalmFile(path, header, extra);
    EXPECT_TRUE(ReadHeader({path.u16string().c_str()}, raw));
    EXPECT_EQ(raw.NumRecords[1], 4);
  }
  fs::remove_all(folder);
}

} // namespace
