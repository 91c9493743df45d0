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

LzhEncoder::LzhEncoder() = default;
LzhEncoder::~LzhEncoder() = default;

bool LzhEncoder::Encode(const ByteSource& source, uint64_t size, const EncoderOptions& options, const ByteSink& sink) {
  if (size == 0) return true;
  if (options.parse == ParseMode::kOptimal) {
    if (!optimal_) optimal_ = std::make_unique<OptimalParse>();
    const OptimalTuning tuning = options.tuning ? *options.tuning : OptimalTuning();
    return optimal_->Encode(source, size, options.dictionaryBits, tuning, sink, options.threads);
  }
  if (!lazy_) lazy_ = std::make_unique<LazyParse>();
  return lazy_->Encode(source, size, options.dictionaryBits, options.parse == ParseMode::kFast, sink);
}

std::vector<uint8_t> LzhEncoder::Encode(const uint8_t* data, std::size_t size, const EncoderOptions& options) {
  std::vector<uint8_t> out;
  const ByteSource source = MemorySource{data, size};
  const ByteSink sink = [&](const uint8_t* d, std::size_t n) {
    out.insert(out.end(), d, d + n);
    return true;
  };
  Encode(source, size, options, sink);
  return out;
}

bool EncodeLzh(const ByteSource& source, uint64_t size, const EncoderOptions& options, const ByteSink& sink) {
  LzhEncoder encoder;
  return encoder.Encode(source, size, options, sink);
}

std::vector<uint8_t> EncodeLzh(const uint8_t* data, std::size_t size, const EncoderOptions& options) {
  LzhEncoder encoder;
  return encoder.Encode(data, size, options);
}

}  // namespace lha
