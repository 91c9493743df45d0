// Cab32's reading of any file as a cabinet: the member list and the
// structural and full checks end in results, never in a bad access.
#include <cstdint>
#include <string>
#include <vector>

#include "archive/cab/cab_internal.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string path = fuzzsupport::Scratch() + "/read.cab";
  fuzzsupport::WriteBytes(path, data, size);
  std::vector<cab::Member> members;
  const int rc = cab::ReadMembers(path, members);
  if (rc != 0 && !members.empty()) fuzzsupport::Fail("members listed for a cabinet that failed to read");
  const bool structure = cab::CheckCabinet(path, false);
  const bool full = cab::CheckCabinet(path, true);
  if (full && !structure) fuzzsupport::Fail("full check passed where the structural check failed");
  return 0;
}
