// The two parses behind LzhEncoder. Each keeps its tables and buffers from
// one input to the next; `Encode` reads `size` bytes from `source` and
// hands finished blocks to `sink`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "archive/lha/lzh_codec.h"

namespace lha {

// The settings of the optimal parse that trade time for size.
struct OptimalTuning {
  int firstPasses = 2;  // passes over the first stretch (costs from a greedy parse at first)
  int passes = 1;       // passes over each later stretch (costs of the stretch before)
  // A match this long is taken as it is, the positions it covers not
  // searched: with -lh4-/-lh5- and with the larger windows of -lh6-/-lh7-
  // (where long matches are more often worth their length).
  int niceLength = 64;
  int niceLengthWide = 128;
  int treeDepth = 16;  // nodes of the match tree visited per position
  // ... and as many as this while the longest match found is shorter than
  // `shortMatch` bytes.
  int treeDepthShort = 32;
  int shortMatch = 24;
  // A position inside a match taken as it is is entered in the match tree
  // placed by as many bytes as the nice length (true) instead of as many
  // as a match can have: in long repeats that comparison was most of the
  // work of entering it.
  bool insertToNiceLength = true;
  // The passes over the first stretch before the last one only gather the
  // costs of a parse: they may price pieces of `samplePiece` bytes, one in
  // every `sampleEvery`, spread over the stretch, instead of all of it (a
  // stretch of at most `sampleEvery` pieces is priced whole; 0 or 1: always
  // whole). The last pass always prices the whole stretch.
  std::size_t samplePiece = 2048;
  int sampleEvery = 3;
  // The forward pass's length loop in 256-bit vectors where the processor
  // has them; false takes the plain loop everywhere (the output is the
  // same either way, which the tests check with this switch).
  bool wideLengthLoop = true;
  // An input larger than this is parsed in segments of `segmentBytes`,
  // each on its own with the window before it to match against, so that
  // several threads can parse one large input; the codes are then coded
  // in order. The output is the same whatever the number of threads.
  uint64_t segmentFrom = uint64_t{4} << 20;
  std::size_t segmentBytes = std::size_t{1} << 20;
};

class OptimalParse {
 public:
  OptimalParse();
  ~OptimalParse();
  OptimalParse(const OptimalParse&) = delete;
  OptimalParse& operator=(const OptimalParse&) = delete;
  // `threads`: how many segments of a large input are parsed at a time.
  bool Encode(const ByteSource& source, uint64_t size, int dictionaryBits, const OptimalTuning& tuning,
              const ByteSink& sink, int threads = 1);

 private:
  class Impl;
  bool EncodeInSegments(const ByteSource& source, uint64_t size, int dictionaryBits, const OptimalTuning& tuning,
                        const ByteSink& sink, int threads);
  std::unique_ptr<Impl> impl_;
  std::vector<std::unique_ptr<Impl>> helpers_;  // the parsers of the other threads, kept
};

class LazyParse {
 public:
  LazyParse();
  ~LazyParse();
  LazyParse(const LazyParse&) = delete;
  LazyParse& operator=(const LazyParse&) = delete;
  // `cutBlocks`: blocks end where a new set of trees pays for itself
  // (the fast mode) instead of every 32,768 codes.
  bool Encode(const ByteSource& source, uint64_t size, int dictionaryBits, bool cutBlocks, const ByteSink& sink);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace lha
