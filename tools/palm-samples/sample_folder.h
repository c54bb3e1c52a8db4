// The folder of sample Palm databases that the demo, the tests and the
// benchmarks use, made by our own encoder.
#pragma once

#include <filesystem>

// Writes the samples into `folder`, creating it if needed. Throws on a write failure.
void WriteSampleFolder(const std::filesystem::path& folder);

// Writes `count` generated databases (alternately .pdb and .prc) into `folder`.
void WriteGeneratedDatabases(const std::filesystem::path& folder, int count);

// Writes databases whose names are not ASCII, each stored as a handheld of
// its language stores it: Western (Windows-1252), Cyrillic (1251), Japanese
// (Shift-JIS, 932), and one already in UTF-8.
void WriteInternationalSamples(const std::filesystem::path& folder);
