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

namespace {

bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// Code page 932 gives some characters two codes (the NEC-selected IBM
// extensions in rows 0xED/0xEE and their IBM twins in 0xFA..0xFC, the NEC
// row-13 twins of a few symbols); encoding writes one of them. Such a
// character right after a byte that was kept on its own must stay as the
// bytes it was: written as the other code, its first byte could pair with
// the kept lead byte before it and the text would read back differently.
// Returns the length of the character at the front of `rest` when it is one
// of those (1 or 2), otherwise 0.
std::size_t NonCanonicalCharAt(std::string_view rest) {
  if (rest.empty()) return 0;
  const std::size_t len = IsLeadByte(static_cast<unsigned char>(rest[0])) && rest.size() >= 2 ? 2 : 1;
  const std::string_view bytes = rest.substr(0, len);
  std::string utf8;
  std::string again;
  if (!ToUtf8(bytes, utf8, nullptr) || utf8.empty()) return 0;
  if (FromUtf8(utf8, again, nullptr) && again == bytes) return 0;
  return len;
}

// Decodes like ToUtf8, but each byte that starts no character is replaced by
// the UTF-8 of `stand(byte)` (at most three bytes) and decoding goes on from
// the byte after it. With `exact`, a character with two codes that follows a
// replaced byte is replaced byte by byte too (see NonCanonicalCharAt), so
// that encoding the text gives back the very same bytes.
template <class Stand>
std::string DecodeReplacing(std::string_view sjis, Stand stand, bool exact = false) {
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    // Without a converter every byte is unreadable: keep the length visible.
    std::string all;
    all.reserve(sjis.size() * 3);
    for (const char c : sjis) all += stand(static_cast<unsigned char>(c));
    return all;
  }
  // Every code page 932 character, one byte or two, is at most three bytes
  // of UTF-8 (all of them lie in the Basic Multilingual Plane), and so is the
  // stand-in of one bad byte: three bytes per input byte always suffice, so
  // the output is allocated once and the text is converted in one pass.
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
    // its stand-in and the conversion goes on from the byte after it.
    std::size_t replaced = 1;
    if (exact) {
      for (std::size_t n; (n = NonCanonicalCharAt(std::string_view(inPtr + replaced, inLeft - replaced))) > 0;)
        replaced += n;
    }
    for (std::size_t i = 0; i < replaced; ++i) {
      const std::string replacement = stand(static_cast<unsigned char>(inPtr[i]));
      if (out.size() - outPos < replacement.size()) out.resize(out.size() * 2);
      out.replace(outPos, replacement.size(), replacement);
      outPos += replacement.size();
    }
    inPtr += replaced;
    inLeft -= replaced;
  }
  iconv_close(cd);
  out.resize(outPos);
  return out;
}

// The UTF-8 of U+F700 + byte (EF 9C 80 .. EF 9F BF).
std::string KeptByteUtf8(unsigned char byte) {
  const unsigned cp = kKeptByteBase + byte;
  return std::string{static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
                     static_cast<char>(0x80 | (cp & 0x3F))};
}

}  // namespace

std::string ToUtf8Lossy(std::string_view sjis) {
  return DecodeReplacing(sjis, [](unsigned char) { return std::string("\xEF\xBF\xBD"); });  // U+FFFD
}

std::string ToUtf8KeepingBytes(std::string_view sjis) { return DecodeReplacing(sjis, KeptByteUtf8, true); }

bool FromUtf8KeepingBytes(std::string_view utf8, std::string& out, std::size_t* badOffset) {
  out.clear();
  std::size_t at = 0;
  while (at <= utf8.size()) {
    std::string part;
    std::size_t bad = 0;
    const std::string_view rest = utf8.substr(at);
    if (FromUtf8(rest, part, &bad)) {
      out += part;
      return true;
    }
    // The text up to the character that failed converts on its own.
    if (!FromUtf8(rest.substr(0, bad), part, nullptr)) break;
    out += part;
    const std::size_t pos = at + bad;
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(utf8[pos + i]); };
    const bool kept = pos + 3 <= utf8.size() && b(0) == 0xEF && b(1) >= 0x9C && b(1) <= 0x9F && (b(2) & 0xC0) == 0x80;
    if (!kept) {
      if (badOffset) *badOffset = pos;
      out.clear();
      return false;
    }
    const unsigned cp = ((b(0) & 0x0Fu) << 12) | ((b(1) & 0x3Fu) << 6) | (b(2) & 0x3Fu);
    out += static_cast<char>(cp - kKeptByteBase);
    at = pos + 3;
  }
  if (badOffset) *badOffset = at;
  out.clear();
  return false;
}

bool CanEncode(std::string_view utf8) {
  std::string out;
  return FromUtf8(utf8, out, nullptr);
}

}  // namespace cp932
