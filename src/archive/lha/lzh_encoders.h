// The two parses behind LzhEncoder. Each keeps its tables and buffers from
// one input to the next; `Encode` reads `size` bytes from `source` and
// hands finished blocks to `sink`.
#pragma once

#include <memory>

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
  // The forward pass's length loop in 256-bit vectors where the processor
  // has them; false takes the plain loop everywhere (the output is the
  // same either way, which the tests check with this switch).
  bool wideLengthLoop = true;
};

class OptimalParse {
 public:
  OptimalParse();
  ~OptimalParse();
  OptimalParse(const OptimalParse&) = delete;
  OptimalParse& operator=(const OptimalParse&) = delete;
  bool Encode(const ByteSource& source, uint64_t size, int dictionaryBits, const OptimalTuning& tuning,
              const ByteSink& sink);

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
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
