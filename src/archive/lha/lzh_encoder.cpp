// The LZH encoder's entry points: the parse chosen in the options, and a
// whole-buffer convenience form.
#include <algorithm>
#include <cstring>

#include "archive/lha/lzh_codec.h"
#include "archive/lha/lzh_encoders.h"

namespace lha {

bool EncodeLzh(const ByteSource& source, uint64_t size, const EncoderOptions& options, const ByteSink& sink) {
  if (size == 0) return true;
  if (options.parse == ParseMode::kLazy) return EncodeLzhLazy(source, size, options.dictionaryBits, sink);
  return EncodeLzhOptimal(source, size, options.dictionaryBits, sink);
}

std::vector<uint8_t> EncodeLzh(const uint8_t* data, std::size_t size, const EncoderOptions& options) {
  std::vector<uint8_t> out;
  std::size_t at = 0;
  const ByteSource source = [&](uint8_t* buf, std::size_t n) {
    const std::size_t k = std::min(n, size - at);
    std::memcpy(buf, data + at, k);
    at += k;
    return k;
  };
  const ByteSink sink = [&](const uint8_t* d, std::size_t n) {
    out.insert(out.end(), d, d + n);
    return true;
  };
  EncodeLzh(source, size, options, sink);
  return out;
}

}  // namespace lha
