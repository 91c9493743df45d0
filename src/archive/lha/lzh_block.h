// One block of the LZH stream, as both parses write it: a 16-bit count of
// codes, the three Huffman trees built from the block's own statistics,
// then the codes. Also the exact size in bits a block would take, which
// the optimal parse uses to decide where blocks end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "archive/lha/lzh_codec.h"
#include "archive/lha/lzh_format.h"

namespace lha {

// A literal (c < 256) or a match (c = 256 + length - 3, distanceCode =
// distance - 1).
struct LzhCode {
  uint16_t c;
  uint16_t distanceCode;
};

// Bits are written most significant first. They gather in a 64-bit
// accumulator and leave it 32 at a time: no loop over bytes, whose varying
// count the processor could not foresee, for each field.
class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
  // `bits`: 0 .. 32.
  void Put(int bits, uint32_t value) {
    acc_ = (acc_ << bits) | (value & ((uint64_t{1} << bits) - 1));
    count_ += bits;
    if (count_ >= 32) {
      count_ -= 32;
      const uint32_t word = static_cast<uint32_t>(acc_ >> count_);
      const uint8_t bytes[4] = {static_cast<uint8_t>(word >> 24), static_cast<uint8_t>(word >> 16),
                                static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)};
      out_.insert(out_.end(), bytes, bytes + 4);
    }
  }
  // Writes the bits still gathered, the last byte padded with zeros.
  void Flush() {
    for (; count_ >= 8; count_ -= 8) out_.push_back(static_cast<uint8_t>(acc_ >> (count_ - 8)));
    if (count_ > 0) out_.push_back(static_cast<uint8_t>(acc_ << (8 - count_)));
    count_ = 0;
    acc_ = 0;
  }

 private:
  std::vector<uint8_t>& out_;
  uint64_t acc_ = 0;
  int count_ = 0;
};

// The packed bytes of finished blocks on their way to the sink: handed on
// once enough have gathered, so memory stays bounded; the bits of a partial
// byte wait for the next block.
class LzhBlockOutput {
 public:
  LzhBlockOutput() : bits_(out_) {}
  explicit LzhBlockOutput(const ByteSink& sink) : sink_(&sink), bits_(out_) {}
  LzhBlockOutput(const LzhBlockOutput&) = delete;
  LzhBlockOutput& operator=(const LzhBlockOutput&) = delete;
  // Starts another stream into `sink`; the buffer is kept.
  void Reset(const ByteSink& sink) {
    sink_ = &sink;
    out_.clear();
    bits_.Flush();
    out_.clear();
  }
  BitWriter& bits() { return bits_; }
  // Hands the gathered bytes on when there are enough; false when the sink
  // refused them.
  bool DrainIfFull() { return out_.size() < kDrainBytes || Drain(); }
  // Pads the last byte and hands everything on.
  bool Finish() {
    bits_.Flush();
    return Drain();
  }

 private:
  static constexpr std::size_t kDrainBytes = std::size_t{1} << 16;
  bool Drain() {
    if (out_.empty()) return true;
    const bool ok = (*sink_)(out_.data(), out_.size());
    out_.clear();
    return ok;
  }

  const ByteSink* sink_ = nullptr;
  std::vector<uint8_t> out_;
  BitWriter bits_;
};

// Symbol counts of a stretch of codes.
struct LzhFrequencies {
  uint32_t c[kLzhLiteralLengthCodes] = {};
  uint32_t p[kLzhMaxDistanceCodes] = {};
  void Add(const LzhCode& code) {
    ++c[code.c];
    if (code.c >= 256) ++p[DistanceSymbol(code.distanceCode)];
  }
};

// Writes `count` codes (1 .. kLzhMaxBlockCodes) as one block.
void WriteLzhBlock(BitWriter& out, const LzhCode* codes, std::size_t count, const LzhDistanceTree& tree);

// The bits the block of these counts takes, trees and extra bits included.
uint64_t LzhBlockBits(const LzhFrequencies& freq, const LzhDistanceTree& tree);

}  // namespace lha
