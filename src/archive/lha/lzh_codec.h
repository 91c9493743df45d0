// The LZSS + static Huffman coding of the LHA methods -lh4- to -lh7-.
//
// The methods differ only in the dictionary: -lh4- 4 KiB (12 bits),
// -lh5- 8 KiB (13), -lh6- 32 KiB (15), -lh7- 64 KiB (16). A stream is a
// sequence of blocks; each block carries three Huffman trees (the tree that
// codes the literal/length tree's code lengths, the literal/length tree and
// the distance tree) followed by its codes. Bits are written most
// significant first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace lha {

// Dictionary bits of a method name ("-lh5-" -> 13), 0 when the method is
// not one of -lh4- .. -lh7-.
int DictionaryBits(const char method[5]);

// The method name the encoder writes for a dictionary size ("-lh5-" for 13
// and anything it does not know, "-lh6-" for 15, "-lh7-" for 16).
const char* MethodName(int dictionaryBits);

// How the encoder chooses between literals and matches.
enum class ParseMode {
  // Prices every choice with the bit costs of the Huffman codes it leads
  // to (several passes over each stretch of input) and places the block
  // boundaries where a new set of trees pays for itself: the smallest
  // output, the default.
  kOptimal,
  // Takes the longest match unless the next position has a longer one, in
  // fixed blocks of 32,768 codes: about twice as fast, a few per cent
  // larger. Kept as the quick mode and as the benchmarks' baseline (the
  // encoder of earlier versions).
  kLazy,
  // The quick parse with the blocks cut where a new set of trees pays for
  // itself, as the optimal parse cuts them: about as fast as kLazy and
  // smaller (the fast mode that callers can choose).
  kFast,
};

struct OptimalTuning;

struct EncoderOptions {
  int dictionaryBits = 13;  // 12 (-lh4-), 13 (-lh5-), 15 (-lh6-) or 16 (-lh7-)
  ParseMode parse = ParseMode::kOptimal;
  // Other settings of the optimal parse (lzh_encoders.h), for the
  // benchmarks; null for the default.
  const OptimalTuning* tuning = nullptr;
  // Threads the optimal parse may use on one large input: it is parsed in
  // segments, that many at a time (at most two). The output does not
  // depend on it.
  int threads = 1;
};

// Compresses `size` bytes. The result is the packed data of one member.
std::vector<uint8_t> EncodeLzh(const uint8_t* data, std::size_t size, const EncoderOptions& options);

// Receives data in order; returns false to stop (write error).
using ByteSink = std::function<bool(const uint8_t* data, std::size_t size)>;

// Supplies data in order: fills up to `size` bytes of `buf` and returns how
// many; 0 at the end.
using ByteSource = std::function<std::size_t(uint8_t* buf, std::size_t size)>;

// A ByteSource over bytes held in memory.
struct MemorySource {
  const uint8_t* data;
  std::size_t size;
  std::size_t at = 0;
  std::size_t operator()(uint8_t* buf, std::size_t n) {
    const std::size_t k = n < size - at ? n : size - at;
    if (k) std::memcpy(buf, data + at, k);
    at += k;
    return k;
  }
};

// Compresses `size` bytes read from `source` in segments, handing the
// packed data to `sink` as blocks are finished: memory stays bounded
// whatever the size. False when the source ends early or the sink refuses.
bool EncodeLzh(const ByteSource& source, uint64_t size, const EncoderOptions& options, const ByteSink& sink);

class OptimalParse;
class LazyParse;

// The encoder as an object that keeps its tables and buffers from one
// input to the next, so that a thread packing many members sets them up
// once. The output is the same as EncodeLzh's. One object serves one
// thread at a time.
class LzhEncoder {
 public:
  LzhEncoder();
  ~LzhEncoder();
  LzhEncoder(const LzhEncoder&) = delete;
  LzhEncoder& operator=(const LzhEncoder&) = delete;

  bool Encode(const ByteSource& source, uint64_t size, const EncoderOptions& options, const ByteSink& sink);
  std::vector<uint8_t> Encode(const uint8_t* data, std::size_t size, const EncoderOptions& options);

 private:
  std::unique_ptr<OptimalParse> optimal_;
  std::unique_ptr<LazyParse> lazy_;
};

enum class DecodeStatus {
  kOk,
  kCorrupt,    // a tree or code that no encoder can produce, or data running out
  kSinkFailed  // the sink returned false
};

// Decodes packed data until `originalSize` bytes were produced. Input is
// read and output handed on in pieces: memory stays bounded whatever the
// member's size.
DecodeStatus DecodeLzh(int dictionaryBits, const ByteSource& source, uint64_t originalSize, const ByteSink& sink);

// The same for packed data held in memory.
DecodeStatus DecodeLzh(int dictionaryBits, const uint8_t* packed, std::size_t packedSize,
                       uint64_t originalSize, const ByteSink& sink);

}  // namespace lha
