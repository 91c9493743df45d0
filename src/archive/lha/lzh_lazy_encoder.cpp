// The quick parse: hash-chain match search with lazy evaluation (a match
// is taken unless the next position has a longer one), in blocks of
// 32,768 codes, or, in the fast mode, in blocks that end where a new set of
// trees pays for itself.
//
// One encoder packs member after member: the hash tables are allocated
// for the first and kept. Positions are entered in them counted on from
// the end of the member before, more than a window further, so that what
// an earlier member left lies out of reach and nothing is cleared.
#include <algorithm>
#include <memory>

#include "archive/lha/lzh_block.h"
#include "archive/lha/lzh_block_cutter.h"
#include "archive/lha/lzh_encoders.h"
#include "archive/lha/lzh_input_window.h"

namespace lha {
namespace {

constexpr int kMinMatch = kLzhMinMatch;
constexpr int kMaxMatch = kLzhMaxMatch;

struct Params {
  int maxChain;
  int goodLength;  // a pending match this long searches with a quarter chain
  int niceLength;  // stop searching at a match this long
  int lazyLimit;   // a pending match this long is taken without looking further
};

}  // namespace

class LazyParse::Impl {
 public:
  // False when the source ended early or the sink refused.
  bool Encode(const ByteSource& source, uint64_t size, int dictBits, bool cutBlocks, const ByteSink& sink) {
    output_.Reset(sink);
    n_ = static_cast<std::size_t>(size);
    cutBlocks_ = cutBlocks;
    tree_ = LzhDistanceTree::For(dictBits);
    in_.Reset(source, n_, std::size_t{1} << dictBits, kSegment);
    // Longer chains than these buy almost nothing on text, source and images.
    params_ = dictBits <= 13 ? Params{512, 32, 256, 256} : Params{1024, 32, 256, 256};
    const std::size_t windowSize = std::size_t{1} << dictBits;
    const int hashBits = dictBits <= 13 ? 15 : 16;
    const uint64_t gap = windowSize + 1;
    if (windowSize != windowSize_ || hashBits != hashBits_ || uint64_t{nextBase_} + n_ + gap >= kNone) {
      windowSize_ = windowSize;
      maxDist_ = windowSize_ - 1;
      hashBits_ = hashBits;
      head_.assign(std::size_t{1} << hashBits_, kNone);
      head3_.assign(std::size_t{1} << kHash3Bits, kNone);
      prev_.assign(windowSize_, kNone);
      nextBase_ = 0;
    }
    base_ = nextBase_;
    nextBase_ = static_cast<uint32_t>(base_ + n_ + gap);
    codes_.clear();
    codes_.reserve(kBlockSymbols);
    if (!in_.Load(0)) return false;
    if (!Parse()) return false;
    FlushBlock(true);
    return output_.Finish();
  }

 private:
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  static constexpr std::size_t kSegment = std::size_t{1} << 20;
  static constexpr std::size_t kLookahead = LzhInputWindow::kLookahead;
  // Codes per block: the trees cost about 100 bytes, so large blocks pay.
  static constexpr std::size_t kBlockSymbols = 32768;
  static constexpr int kHash3Bits = 14;

  uint8_t Byte(std::size_t pos) const { return in_.Byte(pos); }

  uint32_t Hash3(std::size_t pos) const { return in_.Hash3(pos, kHash3Bits); }
  uint32_t Hash4(std::size_t pos) const { return in_.Hash4(pos, hashBits_); }

  // Four-byte prefixes are chained; three-byte ones only remember their
  // latest position (a short match is worth taking only when it is near).
  void Insert(std::size_t pos) {
    if (pos + kMinMatch > n_) return;
    head3_[Hash3(pos)] = At(pos);
    if (pos + 4 > n_) return;
    const uint32_t h = Hash4(pos);
    prev_[pos & (windowSize_ - 1)] = head_[h];
    head_[h] = At(pos);
  }

  // `pos` as the tables hold it.
  uint32_t At(std::size_t pos) const { return static_cast<uint32_t>(base_ + pos); }

  // Longest match at pos longer than `beat`; 0 when there is none.
  int Find(std::size_t pos, int beat, int chain, std::size_t* dist) const {
    if (pos + kMinMatch > n_) return 0;
    const std::size_t limit = std::min<std::size_t>(kMaxMatch, n_ - pos);
    if (static_cast<std::size_t>(beat) >= limit) return 0;
    int best = beat;
    if (limit >= 4) {
      uint32_t cand = head_[Hash4(pos)];
      const uint32_t first4 = in_.Load32(pos);
      const uint32_t at = At(pos);
      while (cand != kNone && chain-- > 0) {
        // An earlier member's position lies beyond the window as well.
        if (at - cand > maxDist_) break;
        const std::size_t c = cand - base_;
        // The bytes around the current best length must agree before the
        // whole run is compared.
        const bool tailAgrees = best < 4 || in_.Load32(c + best - 3) == in_.Load32(pos + best - 3);
        if (tailAgrees && in_.Load32(c) == first4 && Byte(c + best) == Byte(pos + best)) {
          const int len = static_cast<int>(in_.MatchLength(c, pos, limit));
          if (len > best) {
            best = len;
            *dist = pos - c;
            if (len >= params_.niceLength || static_cast<std::size_t>(len) >= limit) break;
          }
        }
        const uint32_t next = prev_[c & (windowSize_ - 1)];
        if (next == kNone || next >= cand) break;
        cand = next;
      }
    }
    if (best < kMinMatch) {
      const uint32_t h3 = head3_[Hash3(pos)];
      if (h3 != kNone && At(pos) - h3 <= std::min<std::size_t>(maxDist_, 4096)) {
        const std::size_t c3 = h3 - base_;
        if (Byte(c3) == Byte(pos) && Byte(c3 + 1) == Byte(pos + 1) && Byte(c3 + 2) == Byte(pos + 2)) {
          best = static_cast<int>(in_.MatchLength(c3, pos, limit));
          *dist = pos - c3;
        }
      }
    }
    if (best == beat || best < kMinMatch) return 0;
    // A three-byte match far back costs about as much as three literals.
    if (best == kMinMatch && *dist > 4096) return 0;
    return best;
  }

  bool Parse() {
    std::size_t pos = 0;
    bool pending = false;
    int pendingLen = 0;
    std::size_t pendingDist = 0;
    while (pos < n_) {
      if (!in_.Holds(pos, kLookahead) && !in_.Load(pos)) return false;
      if (!output_.DrainIfFull()) return false;
      int curLen = 0;
      std::size_t curDist = 0;
      if (!pending) {
        curLen = Find(pos, kMinMatch - 1, params_.maxChain, &curDist);
      } else if (pendingLen < params_.lazyLimit) {
        int chain = pendingLen >= params_.goodLength ? params_.maxChain / 4 : params_.maxChain;
        curLen = Find(pos, pendingLen, chain, &curDist);
      }
      Insert(pos);
      if (pending) {
        if (curLen > pendingLen) {
          EmitLiteral(Byte(pos - 1));
          pendingLen = curLen;
          pendingDist = curDist;
          ++pos;
        } else {
          EmitMatch(pendingLen, pendingDist);
          const std::size_t end = pos - 1 + pendingLen;
          for (std::size_t p = pos + 1; p < end; ++p) Insert(p);
          pos = end;
          pending = false;
        }
      } else if (curLen >= kMinMatch) {
        pending = true;
        pendingLen = curLen;
        pendingDist = curDist;
        ++pos;
      } else {
        EmitLiteral(Byte(pos));
        ++pos;
      }
    }
    if (pending) EmitMatch(pendingLen, pendingDist);
    return true;
  }

  void EmitLiteral(uint8_t c) {
    codes_.push_back({c, 0});
    if (codes_.size() >= (cutBlocks_ ? kCutSymbols : kBlockSymbols)) FlushBlock(false);
  }

  void EmitMatch(int len, std::size_t dist) {
    codes_.push_back({static_cast<uint16_t>(len - kMinMatch + 256), static_cast<uint16_t>(dist - 1)});
    if (codes_.size() >= (cutBlocks_ ? kCutSymbols : kBlockSymbols)) FlushBlock(false);
  }

  // Writes the gathered codes as a block; in the fast mode, as the blocks
  // that pay for themselves, the last of them left open until `done`.
  void FlushBlock(bool done) {
    if (codes_.empty()) return;
    // A short member, whole: weighing its cuts would cost the fast mode
    // more time than the few bytes it could save.
    if (cutBlocks_ && !(done && codes_.size() <= kWholeCodes)) {
      cutter_.Cut(codes_, done, output_.bits(), tree_);
      return;
    }
    WriteLzhBlock(output_.bits(), codes_.data(), codes_.size(), tree_);
    codes_.clear();
  }

  // Codes gathered in the fast mode before the blocks among them are cut.
  static constexpr std::size_t kCutSymbols = std::size_t{1} << 17;
  // A member of at most this many codes is one block in the fast mode too.
  static constexpr std::size_t kWholeCodes = 8192;

  LzhBlockOutput output_;
  std::size_t n_ = 0;
  bool cutBlocks_ = false;
  std::size_t windowSize_ = 0;
  std::size_t maxDist_ = 0;
  LzhDistanceTree tree_{};
  int hashBits_ = 0;
  uint32_t base_ = 0;      // position 0 of this member in the tables
  uint32_t nextBase_ = 0;  // where the next member's positions start
  Params params_{};
  LzhInputWindow in_;
  LzhBlockCutter cutter_;
  std::vector<uint32_t> head_;
  std::vector<uint32_t> head3_;
  std::vector<uint32_t> prev_;
  std::vector<LzhCode> codes_;
};

LazyParse::LazyParse() : impl_(std::make_unique<Impl>()) {}
LazyParse::~LazyParse() = default;

bool LazyParse::Encode(const ByteSource& source, uint64_t size, int dictionaryBits, bool cutBlocks,
                       const ByteSink& sink) {
  return impl_->Encode(source, size, dictionaryBits, cutBlocks, sink);
}

}  // namespace lha
