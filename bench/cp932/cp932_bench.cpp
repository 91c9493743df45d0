// Times lossy Shift-JIS decoding of text made only of bytes that are not
// Shift-JIS (0x80), and of a mix of good text and bad bytes, for several
// sizes. The time should grow in step with the size.
//
// As a baseline, the decoding that restarts a strict conversion of the whole
// rest after every bad byte (quadratic: 1 MB of bad bytes took about 36 s)
// is timed on the sizes up to 256 KB.
//
//   bench_cp932 [size-in-KB...]     (default: 64 256 1024 2048 8192)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/restarting_decode.h"
#include "util/cp932/cp932.h"

namespace {

template <typename Decode>
double SecondsToDecode(const std::string& bytes, std::size_t* outSize, Decode decode) {
  const auto start = std::chrono::steady_clock::now();
  const std::string text = decode(bytes);
  const auto end = std::chrono::steady_clock::now();
  *outSize = text.size();
  return std::chrono::duration<double>(end - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::size_t> sizesKb;
  for (int i = 1; i < argc; ++i) sizesKb.push_back(std::strtoul(argv[i], nullptr, 10));
  if (sizesKb.empty()) sizesKb = {64, 256, 1024, 2048, 8192};

  std::printf("%-10s %-14s %12s %12s\n", "size", "input", "seconds", "MB/s");
  for (std::size_t kb : sizesKb) {
    const std::size_t n = kb * 1024;
    // All bad: every byte is replaced.
    const std::string bad(n, '\x80');
    // Mixed: "ソ" (83 5C), ASCII, a bad byte, a cut-off lead byte.
    std::string mixed;
    static const char kPiece[] = "\x83\x5C" "ab\x80" "\xEF\xBF" "c\x81";
    while (mixed.size() < n) mixed.append(kPiece, sizeof kPiece - 1);
    mixed.resize(n);
    for (const auto& [label, input] : {std::pair<const char*, const std::string*>{"bad 0x80", &bad}, {"mixed", &mixed}}) {
      std::size_t outSize = 0;
      const double s = SecondsToDecode(*input, &outSize, cp932::ToUtf8Lossy);
      std::printf("%-10s %-14s %12.3f %12.1f   (%zu bytes out)\n",
                  (std::to_string(kb) + " KB").c_str(), label, s, kb / 1024.0 / s, outSize);
      if (kb <= 256) {
        const double r = SecondsToDecode(*input, &outSize, lmtest::DecodeByRestarting);
        std::printf("%-10s %-14s %12.3f %12.1f   (baseline: restarting after each bad byte)\n",
                    "", label, r, kb / 1024.0 / r);
      }
    }
  }
  return 0;
}
