// The LZH encoder's entry points: the parse chosen in the options, and a
// whole-buffer convenience form.
#include <algorithm>
#include <cstring>

#include "archive/lha/lzh_codec.h"
#include "archive/lha/lzh_encoders.h"

namespace lha {

const char* MethodName(int dictionaryBits) {
  switch (dictionaryBits) {
    case 15: return "-lh6-";
    case 16: return "-lh7-";
    default: return "-lh5-";
  }
}

bool EncodeLzh(const ByteSource& source, uint64_t size, const EncoderOptions& options, const ByteSink& sink) {
  if (size == 0) return true;
  if (options.parse == ParseMode::kLazy) return EncodeLzhLazy(source, size, options.dictionaryBits, sink);
  return EncodeLzhOptimal(source, size, options.dictionaryBits, sink);
}

std::vector<uint8_t> EncodeLzh(const uint8_t* data, std::size_t size, const EncoderOptions& options) {
  std::vector<uint8_t> out;
  const ByteSource source = MemorySource{data, size};
  const ByteSink sink = [&](const uint8_t* d, std::size_t n) {
    out.insert(out.end(), d, d + n);
    return true;
  };
  EncodeLzh(source, size, options, sink);
  return out;
}

}  // namespace lha
