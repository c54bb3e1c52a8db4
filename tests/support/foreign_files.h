// Test support: files of other formats that take the extensions .pdb and
// .prc, each made as its own writers make it, to be given no Palm values.
#pragma once

#include "program_database.h" // a real one, written by lld-link for a one-function DLL

#include <cstdint>
#include <string>
#include <vector>

struct TForeignFile {
  const char* Label;
  const char* FileName;
  std::string Bytes;
};

// Appends the `width` low bytes of `value`, the least significant first.
inline void PutLittleEndian(std::string& out, std::uint32_t value, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) out += static_cast<char>(value >> (8 * i));
}

// A record of the Protein Data Bank's text format: 80 columns and a line end.
inline std::string PdbRecord(const std::string& columns) {
  return columns + std::string(80 - columns.size(), ' ') + "\n";
}

inline std::vector<TForeignFile> ForeignFiles() {
  std::vector<TForeignFile> files;
  files.push_back({"program database written by lld-link", "one.pdb",
                   std::string(reinterpret_cast<const char*>(ProgramDatabase), sizeof ProgramDatabase)});

  // The older format: its signature, then the page size, the free page map's
  // page, the page count, the root stream's size and a reserved word, and the
  // root stream's page numbers.
  std::string old("Microsoft C/C++ program database 2.00\r\n\x1A"
                  "JG\0\0",
                  44);
  PutLittleEndian(old, 1024, 4);
  PutLittleEndian(old, 1, 2);
  PutLittleEndian(old, 3, 2);
  PutLittleEndian(old, 56, 4);
  PutLittleEndian(old, 0, 4);
  PutLittleEndian(old, 2, 2);
  old.resize(3 * 1024, '\0');
  files.push_back({"program database 2.00", "old.pdb", old});

  // A portable PDB: the metadata root (signature, version 1.1, reserved,
  // the version text's room and the text), flags, and the stream headers
  // (offset, size, name padded to 4 bytes).
  std::string portable("BSJB", 4);
  PutLittleEndian(portable, 1, 2);
  PutLittleEndian(portable, 1, 2);
  PutLittleEndian(portable, 0, 4);
  PutLittleEndian(portable, 12, 4);
  portable.append("PDB v1.0\0\0\0\0", 12);
  PutLittleEndian(portable, 0, 2);
  PutLittleEndian(portable, 5, 2);
  const struct {
    std::uint32_t Offset, Size;
    std::string Name;
  } streams[] = {{0x7C, 0x6C, std::string("#Pdb\0\0\0\0", 8)},
                 {0xE8, 0x40, std::string("#~\0\0", 4)},
                 {0x128, 0x24, std::string("#Strings\0\0\0\0", 12)},
                 {0x14C, 0x10, std::string("#GUID\0\0\0", 8)},
                 {0x15C, 0x30, std::string("#Blob\0\0\0", 8)}};
  for (const auto& stream : streams) {
    PutLittleEndian(portable, stream.Offset, 4);
    PutLittleEndian(portable, stream.Size, 4);
    portable += stream.Name;
  }
  portable.resize(0x18C, '\0');
  files.push_back({"portable PDB", "App.pdb", portable});

  files.push_back(
      {"Protein Data Bank file", "1abc.pdb",
       PdbRecord("HEADER    HYDROLASE                               30-JAN-87   1ABC") +
           PdbRecord("TITLE     A HYDROLASE WRITTEN OUT FOR A TEST") +
           PdbRecord("REMARK   2 RESOLUTION.    2.00 ANGSTROMS.") +
           PdbRecord("ATOM      1  N   GLY A   1      11.104   6.134  -6.504  1.00  0.00           N") +
           PdbRecord("END")});
  files.push_back(
      {"text with tabs and CR LF", "notes.prc",
       "Shopping list\r\n\t- milk\r\n\t- bread\r\n\t- batteries for the handheld\r\n\t- a cradle cable\r\n"});

  // 3D PRC: "PRC", the least version that reads it and the version that
  // wrote it (32 bits each, little-endian), then the file structure's and the
  // application's UUIDs.
  std::string model("PRC", 3);
  PutLittleEndian(model, 8137, 4);
  PutLittleEndian(model, 8137, 4);
  for (const std::uint32_t word : {0x5C3A81D2u, 0x0B44E6F1u, 0x9A2D7E30u, 0x61F0C4B8u, 0x2E9B6A17u,
                                   0xD40C55E3u, 0x7781F29Au, 0x13C6B04Du}) {
    PutLittleEndian(model, word, 4);
  }
  PutLittleEndian(model, 1, 4);
  model.resize(256, '\x5A');
  files.push_back({"3D PRC model", "part.prc", model});
  return files;
}
