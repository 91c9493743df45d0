// Where a stream of codes is cut into blocks: wherever a new set of
// Huffman trees pays for itself, judged on the codes' own statistics. The
// optimal parse and the fast parse both hand their codes here.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/lha/lzh_block.h"

namespace lha {

class LzhBlockCutter {
 public:
  // Writes the finished blocks of `codes` to `out` and removes them from
  // `codes`; the last block stays open (its codes stay in `codes`) unless
  // `done`, so that the codes still to come can join it.
  void Cut(std::vector<LzhCode>& codes, bool done, BitWriter& out, const LzhDistanceTree& tree);

 private:
  double EstimatedBits(const LzhFrequencies& a, const LzhFrequencies& b) const;
  uint64_t ExactBits(const LzhFrequencies& a, const LzhFrequencies& b) const;
  void Split(std::size_t a, std::size_t b, uint64_t bits);
  std::size_t CellCodes(std::size_t cell) const { return std::min(cell * cellSize_, total_); }

  static constexpr std::size_t kMinCell = 1024;

  LzhDistanceTree tree_{};
  std::vector<uint16_t> usedC_;  // the symbols the stretch being split uses
  std::vector<uint8_t> usedP_;
  std::size_t total_ = 0;
  std::size_t cellSize_ = 1024;
  std::vector<LzhFrequencies> cellFreq_;  // counts before each cell
  std::vector<std::size_t> cuts_;
};

}  // namespace lha
