// Encode then decode with each dictionary size (-lh4- to -lh7-): the
// decoder must give back exactly the encoder's input. The first byte picks
// the method and the parse, the rest is the data.
#include <cstdint>
#include <cstring>
#include <vector>

#include "archive/lha/lzh_codec.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  static const int kBits[] = {12, 13, 15, 16};
  lha::EncoderOptions options;
  options.dictionaryBits = kBits[data[0] % 4];
  // The fourth bit picks the quick parse instead of the optimal one.
  if (data[0] & 8) options.parse = lha::ParseMode::kLazy;
  // Long runs test long matches: the second bit of the first byte repeats
  // the data four times.
  std::vector<uint8_t> input(data + 1, data + size);
  if (data[0] & 4) {
    const std::vector<uint8_t> once = input;
    for (int i = 0; i < 3; ++i) input.insert(input.end(), once.begin(), once.end());
  }
  const std::vector<uint8_t> packed = lha::EncodeLzh(input.data(), input.size(), options);
  std::vector<uint8_t> out;
  out.reserve(input.size());
  const lha::DecodeStatus st = lha::DecodeLzh(options.dictionaryBits, packed.data(), packed.size(), input.size(),
                                              [&](const uint8_t* d, std::size_t n) {
                                                out.insert(out.end(), d, d + n);
                                                return true;
                                              });
  if (st != lha::DecodeStatus::kOk) fuzzsupport::Fail("decoding the encoder's output failed");
  if (out != input) fuzzsupport::Fail("round trip changed the data");
  return 0;
}
