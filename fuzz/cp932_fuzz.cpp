// Shift-JIS decoding of any bytes: the lossy decoder always gives UTF-8 of
// bounded size, agrees with the strict decoder wherever that succeeds, and
// its result escaped for display holds no control character; the decoder
// that keeps unreadable bytes gives a text that writes and reads back alike.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "util/cp932/cp932.h"
#include "util/text/visible_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  const std::string lossy = cp932::ToUtf8Lossy(in);
  if (lossy.size() > size * 3) fuzzsupport::Fail("lossy output larger than three bytes per input byte");
  // Valid UTF-8: escaping may only touch controls, never stray bytes.
  const std::string shown = visible::Escape(lossy);
  if (!visible::IsPrintable(shown)) fuzzsupport::Fail("escaped text still holds a control");
  for (char c : shown) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) fuzzsupport::Fail("control byte in escaped text");
  }
  std::string strict;
  std::size_t bad = 0;
  if (cp932::ToUtf8(in, strict, &bad)) {
    if (strict != lossy) fuzzsupport::Fail("lossy and strict decoding differ on valid text");
  } else {
    if (bad >= size) fuzzsupport::Fail("bad offset outside the input");
    // Up to the bad byte both agree.
    std::string prefix;
    if (!cp932::ToUtf8(in.substr(0, bad), prefix)) fuzzsupport::Fail("prefix before the bad byte is not valid");
    if (lossy.compare(0, prefix.size(), prefix) != 0) fuzzsupport::Fail("lossy decoding differs before the bad byte");
  }
  // Text read keeping the bytes no character uses writes back and reads
  // back as the same text.
  const std::string kept = cp932::ToUtf8KeepingBytes(in);
  std::string keptBytes;
  if (!cp932::FromUtf8KeepingBytes(kept, keptBytes)) fuzzsupport::Fail("text read keeping bytes does not encode again");
  if (cp932::ToUtf8KeepingBytes(keptBytes) != kept) fuzzsupport::Fail("text read keeping bytes reads back differently");
  // Whatever decodes strictly encodes again.
  std::string back;
  if (!strict.empty() && !cp932::FromUtf8(strict, back)) fuzzsupport::Fail("decoded text does not encode again");
  return 0;
}
