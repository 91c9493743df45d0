#include "util/cp932/cp932.h"

#include <cerrno>
#include <iconv.h>

namespace cp932 {
namespace {

// One conversion with a fresh iconv descriptor; descriptors are cheap to open
// and this keeps the functions safe to call from any thread.
bool Convert(const char* to, const char* from, std::string_view in, std::string& out,
             std::size_t* badOffset) {
  out.clear();
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    if (badOffset) *badOffset = 0;
    return false;
  }
  out.resize(in.size() * 2 + 16);
  char* inPtr = const_cast<char*>(in.data());
  std::size_t inLeft = in.size();
  std::size_t outPos = 0;
  bool ok = true;
  while (inLeft > 0) {
    char* outPtr = out.data() + outPos;
    std::size_t outLeft = out.size() - outPos;
    std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    outPos = static_cast<std::size_t>(outPtr - out.data());
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() * 2);
      continue;
    }
    ok = false;  // EILSEQ or EINVAL: a character that cannot be converted
    if (badOffset) *badOffset = static_cast<std::size_t>(inPtr - in.data());
    break;
  }
  if (ok) {
    char* outPtr = out.data() + outPos;
    std::size_t outLeft = out.size() - outPos;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    outPos = static_cast<std::size_t>(outPtr - out.data());
  }
  iconv_close(cd);
  out.resize(ok ? outPos : 0);
  return ok;
}

}  // namespace

bool FromUtf8(std::string_view utf8, std::string& out, std::size_t* badOffset) {
  return Convert("CP932", "UTF-8", utf8, out, badOffset);
}

bool ToUtf8(std::string_view sjis, std::string& out, std::size_t* badOffset) {
  return Convert("UTF-8", "CP932", sjis, out, badOffset);
}

std::string ToUtf8Lossy(std::string_view sjis) {
  std::string result;
  std::size_t pos = 0;
  while (pos < sjis.size()) {
    std::string part;
    std::size_t bad = 0;
    if (ToUtf8(sjis.substr(pos), part, &bad)) {
      result += part;
      break;
    }
    std::string good;
    ToUtf8(sjis.substr(pos, bad), good, nullptr);
    result += good;
    result += "\xEF\xBF\xBD";  // U+FFFD
    pos += bad + 1;
  }
  return result;
}

bool CanEncode(std::string_view utf8) {
  std::string out;
  return FromUtf8(utf8, out, nullptr);
}

}  // namespace cp932
