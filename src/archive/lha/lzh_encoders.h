// The two parses behind EncodeLzh; each reads `size` bytes from `source`
// and hands finished blocks to `sink`.
#pragma once

#include "archive/lha/lzh_codec.h"

namespace lha {

bool EncodeLzhLazy(const ByteSource& source, uint64_t size, int dictionaryBits, const ByteSink& sink);
bool EncodeLzhOptimal(const ByteSource& source, uint64_t size, int dictionaryBits, const ByteSink& sink);

}  // namespace lha
