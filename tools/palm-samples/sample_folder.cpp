#include "tools/palm-samples/sample_folder.h"
#include "tools/palm-samples/palm_encoder.h"

#include <fstream>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr std::uint16_t AttrResource = 0x0001;
constexpr std::uint16_t AttrBackup = 0x0008;

void Write(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

TSampleHeader DeviceDatabase(const std::string& name, const std::string& type, const std::string& creator,
                             std::uint16_t records) {
  TSampleHeader header;
  header.Name = name;
  header.DBType = type;
  header.CreatorID = creator;
  header.NumRecords = records;
  header.Attributes = AttrBackup;
  return header;
}

} // namespace

void WriteSampleFolder(const fs::path& folder) {
  fs::create_directories(folder);

  TSampleHeader memo = DeviceDatabase("MemoDB", "DATA", "memo", 42);
  memo.Created = PalmDeviceSeconds(2002, 8, 16, 13, 8, 53);
  memo.Modified = PalmDeviceSeconds(2021, 2, 20, 2, 16, 1);
  memo.BackedUp = PalmDeviceSeconds(2021, 2, 19, 22, 0, 0);
  memo.ModificationNumber = 517;
  Write(folder / "MemoDB.pdb", EncodePalmDatabase(memo, false));

  TSampleHeader address = DeviceDatabase("AddressDB", "DATA", "addr", 318);
  address.Version = 1;
  address.Created = PalmDeviceSeconds(1999, 3, 1, 9, 30, 0);
  address.Modified = PalmDeviceSeconds(2004, 12, 31, 23, 59, 59);
  address.BackedUp = PalmDeviceSeconds(2004, 12, 31, 23, 0, 0);
  Write(folder / "AddressDB.pdb", EncodePalmDatabase(address, false));

  TSampleHeader application = DeviceDatabase("Korvel Notes", "appl", "KRVL", 12);
  application.Attributes = AttrResource | AttrBackup;
  application.Version = 3;
  application.Created = PalmDeviceSeconds(2000, 2, 29, 12, 0, 0);
  application.Modified = PalmDeviceSeconds(2001, 1, 1, 0, 0, 0);
  application.BackedUp = PalmDeviceSeconds(2001, 1, 2, 8, 15, 0);
  Write(folder / "KorvelNotes.prc", EncodePalmDatabase(application, true));

  // Desktop converters count from 1970.
  TSampleHeader converted = DeviceDatabase("Field Guide", "TEXt", "REAd", 25);
  converted.Attributes = 0;
  converted.Created = UnixSeconds(2009, 6, 1, 8, 0, 0);
  converted.Modified = UnixSeconds(2010, 7, 4, 18, 30, 0);
  converted.BackedUp = UnixSeconds(2011, 1, 15, 20, 0, 0);
  Write(folder / "FieldGuide.pdb", EncodePalmDatabase(converted, false));

  TSampleHeader fullName = DeviceDatabase("A name that fills all 32 bytes!!", "DATA", "KRVL", 2);
  fullName.Created = fullName.Modified = PalmDeviceSeconds(2003, 5, 5, 5, 5, 5);
  Write(folder / "FullName.pdb", EncodePalmDatabase(fullName, false));

  TSampleHeader zeroDates = DeviceDatabase("ZeroDates", "DATA", "KRVL", 0);
  Write(folder / "ZeroDates.pdb", EncodePalmDatabase(zeroDates, false));

  TSampleHeader headerOnly = DeviceDatabase("HeaderOnly", "DATA", "KRVL", 0);
  headerOnly.Created = headerOnly.Modified = PalmDeviceSeconds(2005, 10, 10, 10, 10, 10);
  const TSampleBytes headerBytes = EncodeSampleHeader(headerOnly); // 78 bytes and nothing after
  Write(folder / "HeaderOnly.pdb", std::string(headerBytes.begin(), headerBytes.end()));

  const std::string truncated = EncodePalmDatabase(memo, false).substr(0, 40);
  Write(folder / "Truncated.pdb", truncated);

  TSampleHeader upper = DeviceDatabase("ToDoDB", "DATA", "todo", 7);
  upper.Created = PalmDeviceSeconds(1998, 11, 30, 7, 45, 0);
  upper.Modified = PalmDeviceSeconds(2006, 4, 1, 12, 0, 0);
  upper.BackedUp = PalmDeviceSeconds(2006, 4, 2, 9, 0, 0);
  Write(folder / "TODODB.PDB", EncodePalmDatabase(upper, false));

  TSampleHeader game = DeviceDatabase("Puzzle", "appl", "Pzzl", 5);
  game.Attributes = AttrResource;
  game.Version = 2;
  game.Created = game.Modified = PalmDeviceSeconds(2001, 9, 9, 1, 46, 40);
  Write(folder / "PUZZLE.PRC", EncodePalmDatabase(game, true));

  Write(folder / "notes.txt", "Not a Palm database: plain text beside the samples.\n");
}

void WriteInternationalSamples(const fs::path& folder) {
  fs::create_directories(folder);
  struct Sample {
    const char* File;
    const char* Name; // the stored bytes
    const char* Creator;
  };
  const Sample samples[] = {
      {"CafeMuller.pdb", "Caf\xE9 M\xFCller", "memo"},         // "Café Müller" in Windows-1252
      {"Zametki.pdb", "\xC7\xE0\xEC\xE5\xF2\xEA\xE8", "memo"}, // "Заметки" in Windows-1251
      {"Memocho.pdb", "\x83\x81\x83\x82\x92\xA0", "memo"},     // "メモ帳" in Shift-JIS
      {"Unicode.pdb",
       "\xC3\x9Cn\xC3\xAF"
       "c\xC3\xB6"
       "d\xC3\xA9 \xE2\x9C\x93",
       "KRVL"}, // "Ünïcödé ✓" in UTF-8
  };
  for (const auto& sample : samples) {
    TSampleHeader header = DeviceDatabase(sample.Name, "DATA", sample.Creator, 3);
    header.Created = PalmDeviceSeconds(2003, 3, 14, 9, 0, 0);
    header.Modified = PalmDeviceSeconds(2004, 6, 1, 18, 30, 0);
    Write(folder / sample.File, EncodePalmDatabase(header, false));
  }
}

void WriteGeneratedDatabases(const fs::path& folder, int count) {
  fs::create_directories(folder);
  for (int i = 0; i < count; ++i) {
    const bool resource = i % 2 == 1;
    TSampleHeader header = DeviceDatabase("Generated " + std::to_string(i), resource ? "appl" : "DATA",
                                          resource ? "Gen2" : "Gen1", static_cast<std::uint16_t>(i % 50));
    header.Version = static_cast<std::uint16_t>(i % 7);
    header.Created = PalmDeviceSeconds(1998 + i % 12, 1 + static_cast<unsigned>(i % 12),
                                       1 + static_cast<unsigned>(i % 28), 8, 0, 0);
    header.Modified = header.Created + static_cast<std::uint32_t>(i) * 3600u;
    header.BackedUp = i % 3 == 0 ? 0 : header.Modified + 60;
    Write(folder / ("db" + std::to_string(i) + (resource ? ".prc" : ".pdb")),
          EncodePalmDatabase(header, resource));
  }
}
