// The LZH reader on any file: every header level and method the reader
// knows, every member decoded with its CRC checked, and the library's list
// and test reports, which must hold no control character but their line
// ends.
#include <cstdint>
#include <string>

#include "archive/lha/lha_archive.h"
#include "archive/lha/lha_commands.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = fuzzsupport::Scratch() + "/read.lzh";
  fuzzsupport::WriteBytes(path, data, size);

  // Members before a damaged header stay listed and are decoded too.
  lha::ArchiveReader reader;
  reader.Open(path);
  for (const lha::Entry& e : reader.entries()) {
    uint64_t produced = 0;
    reader.Extract(e, [&](const uint8_t*, std::size_t n) {
      produced += n;
      return produced <= (64u << 20);  // a bound on the work of one member
    });
  }
  for (const char* command : {"l ", "t "}) {
    std::string report;
    lha::RunCommand(command + path, lha::CommandEnv{}, report);
    for (std::size_t i = 0; i < report.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(report[i]);
      const bool lineEnd = (c == '\r' && i + 1 < report.size() && report[i + 1] == '\n') ||
                           (c == '\n' && i > 0 && report[i - 1] == '\r');
      if ((c < 0x20 || c == 0x7F) && !lineEnd) fuzzsupport::Fail("control character in the report", report);
    }
  }
  return 0;
}
