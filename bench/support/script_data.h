// Test data for the build and archiver benchmarks: text-like runs of script
// words mixed with noise, as script packages hold.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace benchdata {

// Writes `count` small files (1 KB .. 130 KB) into 40 subfolders of `dir`,
// then large files of up to 16 MB until `bytes` are written in all. Folders
// are named `folderPrefix` + n and files `filePrefix` + n + ".dat". The data
// is the same from run to run. Returns the number of files written; a file
// that cannot be written ends the program with a message.
int MakeScriptData(const std::filesystem::path& dir, std::uint64_t bytes, int count,
                   const std::string& folderPrefix, const std::string& filePrefix);

}  // namespace benchdata
