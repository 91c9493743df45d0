// The lossy Shift-JIS decoding as it was first written: strict decoding up
// to the first bad byte, U+FFFD for it, then again from the byte after it,
// each restart converting the whole rest anew. Slow (quadratic in the number
// of bad bytes) but plainly right: the tests use it as a model of the real
// decoder, the benchmark as its baseline.
#pragma once

#include <string>
#include <string_view>

#include "util/cp932/cp932.h"

namespace lmtest {

inline std::string DecodeByRestarting(std::string_view sjis) {
  std::string result;
  std::size_t pos = 0;
  while (pos < sjis.size()) {
    std::string part;
    std::size_t bad = 0;
    if (cp932::ToUtf8(sjis.substr(pos), part, &bad)) {
      result += part;
      break;
    }
    cp932::ToUtf8(sjis.substr(pos, bad), part, nullptr);
    result += part + "\xEF\xBF\xBD";
    pos += bad + 1;
  }
  return result;
}

}  // namespace lmtest
