#include "archive/common/command_entry.h"

#include <new>

#include "archive/common/output_text.h"
#include "archive/common/result_codes.h"
#include "util/cp932/cp932.h"

namespace arc {

int RunCommandEntry(LibraryState& state, const char* cmdLine, char* output, uint32_t outputSize,
                    const CommandRunner& run) {
  LibraryState::Busy busy(state);
  if (!busy.Owner()) {
    FillOutput("", output, outputSize);
    return ARC_ERROR_ALREADY_RUNNING;
  }
  int rc = 0;
  std::string report;
  // The decoding allocates too: it runs inside the try, so that no exception
  // leaves the C entry point.
  try {
    std::string line;
    if (!cmdLine) {
      rc = ARC_ERROR_COMMAND_NAME;
      report = "no command line\r\n";
    } else if (!cp932::ToUtf8(cmdLine, line)) {
      rc = ARC_ERROR_COMMAND_NAME;
      report = "the command line is not valid Shift-JIS\r\n";
    } else {
      rc = run(line, report);
    }
  } catch (const std::bad_alloc&) {
    rc = ARC_ERROR_MORE_HEAP_MEMORY;
  } catch (...) {
    rc = ARC_ERROR_CANNOT_WRITE;
  }
  FillOutput(DisplayCp932(report), output, outputSize);
  return rc;
}

}  // namespace arc
