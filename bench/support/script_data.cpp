#include "script_data.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace benchdata {

int MakeScriptData(const std::filesystem::path& dir, std::uint64_t bytes, int count,
                   const std::string& folderPrefix, const std::string& filePrefix) {
  namespace fs = std::filesystem;
  fs::create_directories(dir);
  std::uint32_t x = 2463534242u;
  auto next = [&x] {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
  };
  static const char* words[] = {"persona ", "script ", "quillet ", "update ", "会話 ", "表示 ", "\r\n", "0123 "};
  std::uint64_t written = 0;
  int files = 0;
  auto write = [&](const fs::path& path, std::uint64_t size) {
    std::string data;
    data.reserve(size + 16);
    while (data.size() < size) {
      if (next() % 4 == 0) {
        data.push_back(char(next() >> 24));
      } else {
        data += words[next() % 8];
      }
    }
    data.resize(size);
    std::ofstream out(path, std::ios::binary);
    if (!out.write(data.data(), std::streamsize(data.size()))) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      std::exit(1);
    }
    written += size;
    ++files;
  };
  for (int i = 0; i < count && written < bytes; ++i) {
    const fs::path sub = dir / (folderPrefix + std::to_string(i % 40));
    fs::create_directories(sub);
    write(sub / (filePrefix + std::to_string(i) + ".dat"), 1000 + next() % 130000);
  }
  for (int i = 0; written < bytes; ++i)
    write(dir / ("large" + std::to_string(i) + ".bin"), std::min<std::uint64_t>(std::uint64_t{16} << 20, bytes - written));
  return files;
}

}  // namespace benchdata
