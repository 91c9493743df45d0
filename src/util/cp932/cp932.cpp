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
  static constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    // Without a converter every byte is unreadable: keep the length visible.
    std::string all;
    all.reserve(sjis.size() * 3);
    for (std::size_t i = 0; i < sjis.size(); ++i) all += kReplacement;
    return all;
  }
  // Every code page 932 character, one byte or two, is at most three bytes
  // of UTF-8 (all of them lie in the Basic Multilingual Plane), and so is the
  // replacement of one bad byte: three bytes per input byte always suffice,
  // so the output is allocated once and the text is converted in one pass.
  std::string out(sjis.size() * 3 + 4, '\0');
  char* inPtr = const_cast<char*>(sjis.data());
  std::size_t inLeft = sjis.size();
  std::size_t outPos = 0;
  while (inLeft > 0) {
    char* outPtr = out.data() + outPos;
    std::size_t outLeft = out.size() - outPos;
    const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    outPos = static_cast<std::size_t>(outPtr - out.data());
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {  // cannot happen with the bound above; stay safe anyway
      out.resize(out.size() * 2);
      continue;
    }
    // EILSEQ or EINVAL: the byte at inPtr starts no character. It becomes
    // U+FFFD and the conversion goes on from the byte after it.
    if (out.size() - outPos < sizeof kReplacement - 1) out.resize(out.size() * 2);
    out.replace(outPos, sizeof kReplacement - 1, kReplacement);
    outPos += sizeof kReplacement - 1;
    ++inPtr;
    --inLeft;
  }
  iconv_close(cd);
  out.resize(outPos);
  return out;
}

bool CanEncode(std::string_view utf8) {
  std::string out;
  return FromUtf8(utf8, out, nullptr);
}

}  // namespace cp932
