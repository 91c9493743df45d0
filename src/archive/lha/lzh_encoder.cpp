// LZH encoder: hash-chain match search with lazy evaluation, blocks coded
// with Huffman trees built from the block's own statistics.
#include <algorithm>
#include <cstring>
#include <memory>

#include "archive/lha/lzh_codec.h"
#include "archive/lha/lzh_huffman.h"

namespace lha {
namespace {

constexpr int kNC = 256 + 256 - 3 + 1;  // literals and match lengths 3..256
constexpr int kNT = kMaxCodeBits + 3;   // code-length alphabet
constexpr int kTBits = 5;
constexpr int kCBits = 9;
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 256;

class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}
  void Put(int bits, uint32_t value) {
    if (bits == 0) return;
    acc_ = (acc_ << bits) | (value & ((uint64_t{1} << bits) - 1));
    count_ += bits;
    while (count_ >= 8) {
      count_ -= 8;
      out_.push_back(static_cast<uint8_t>(acc_ >> count_));
    }
  }
  void Flush() {
    if (count_ > 0) out_.push_back(static_cast<uint8_t>(acc_ << (8 - count_)));
    count_ = 0;
    acc_ = 0;
  }

 private:
  std::vector<uint8_t>& out_;
  uint64_t acc_ = 0;
  int count_ = 0;
};

inline int BitLength(uint32_t v) { return v ? 32 - __builtin_clz(v) : 0; }

struct Params {
  int maxChain;
  int goodLength;  // a pending match this long searches with a quarter chain
  int niceLength;  // stop searching at a match this long
  int lazyLimit;   // a pending match this long is taken without looking further
};

class Encoder {
 public:
  Encoder(const ByteSource& source, uint64_t size, int dictBits, const ByteSink& sink)
      : source_(source), sink_(sink), n_(static_cast<std::size_t>(size)), dictBits_(dictBits), bw_(out_) {
    windowSize_ = std::size_t{1} << dictBits;
    maxDist_ = windowSize_ - 1;
    np_ = dictBits <= 13 ? 14 : dictBits + 1;
    pBits_ = dictBits <= 13 ? 4 : 5;
    hashBits_ = dictBits <= 13 ? 15 : 16;
    head_.assign(std::size_t{1} << hashBits_, kNone);
    head3_.assign(std::size_t{1} << kHash3Bits, kNone);
    prev_.assign(windowSize_, kNone);
    // Longer chains than these buy almost nothing on text, source and images.
    params_ = dictBits <= 13 ? Params{512, 32, 256, 256} : Params{1024, 32, 256, 256};
    // The window behind the current position, a segment ahead of it and
    // room for the longest look-ahead.
    buf_.resize(windowSize_ + kSegment + 2 * kLookahead);
  }

  // False when the source ended early or the sink refused.
  bool Run() {
    if (!Load(0)) return false;
    if (!Parse()) return false;
    FlushBlock();
    bw_.Flush();
    return Drain();
  }

 private:
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  // Input is read in segments; every position the search looks at lies
  // within kLookahead bytes of the current one.
  static constexpr std::size_t kSegment = std::size_t{1} << 20;
  static constexpr std::size_t kLookahead = 1024;
  // Packed bytes are handed on once this many are finished.
  static constexpr std::size_t kDrainBytes = std::size_t{1} << 16;

  const uint8_t* At(std::size_t pos) const { return buf_.data() + (pos - base_); }
  uint8_t Byte(std::size_t pos) const { return buf_[pos - base_]; }

  // Keeps the window before `pos` and reads input behind it until the
  // buffer is full or the input is all read.
  bool Load(std::size_t pos) {
    const std::size_t keepFrom = pos > windowSize_ + 1 ? pos - windowSize_ - 1 : base_;
    if (keepFrom > base_) {
      std::memmove(buf_.data(), At(keepFrom), loaded_ - keepFrom);
      base_ = keepFrom;
    }
    while (loaded_ < n_ && loaded_ - base_ < buf_.size()) {
      const std::size_t want = std::min(buf_.size() - (loaded_ - base_), n_ - loaded_);
      const std::size_t got = source_(buf_.data() + (loaded_ - base_), want);
      if (got == 0) return false;
      loaded_ += got;
    }
    return true;
  }

  // Hands the finished blocks' bytes on; the bits of a partial byte stay.
  bool Drain() {
    if (out_.empty()) return true;
    const bool ok = sink_(out_.data(), out_.size());
    out_.clear();
    return ok;
  }

  uint32_t Load32(std::size_t pos) const {
    uint32_t v;
    std::memcpy(&v, At(pos), 4);
    return v;
  }
  uint32_t Hash3(std::size_t pos) const {
    const uint32_t v = Byte(pos) | (Byte(pos + 1) << 8) | (Byte(pos + 2) << 16);
    return (v * 2654435761u) >> (32 - kHash3Bits);
  }
  uint32_t Hash4(std::size_t pos) const { return (Load32(pos) * 2654435761u) >> (32 - hashBits_); }

  // Four-byte prefixes are chained; three-byte ones only remember their
  // latest position (a short match is worth taking only when it is near).
  void Insert(std::size_t pos) {
    if (pos + kMinMatch > n_) return;
    head3_[Hash3(pos)] = static_cast<uint32_t>(pos);
    if (pos + 4 > n_) return;
    const uint32_t h = Hash4(pos);
    prev_[pos & (windowSize_ - 1)] = head_[h];
    head_[h] = static_cast<uint32_t>(pos);
  }

  std::size_t MatchLength(std::size_t a, std::size_t b, std::size_t limit) const {
    std::size_t len = 0;
    while (len + 8 <= limit) {
      uint64_t x, y;
      std::memcpy(&x, At(a) + len, 8);
      std::memcpy(&y, At(b) + len, 8);
      const uint64_t diff = x ^ y;
      if (diff) return len + (__builtin_ctzll(diff) >> 3);
      len += 8;
    }
    while (len < limit && Byte(a + len) == Byte(b + len)) ++len;
    return len;
  }

  // Longest match at pos longer than `beat`; 0 when there is none.
  int Find(std::size_t pos, int beat, int chain, std::size_t* dist) const {
    if (pos + kMinMatch > n_) return 0;
    const std::size_t limit = std::min<std::size_t>(kMaxMatch, n_ - pos);
    if (static_cast<std::size_t>(beat) >= limit) return 0;
    int best = beat;
    if (limit >= 4) {
      uint32_t cand = head_[Hash4(pos)];
      const uint32_t first4 = Load32(pos);
      while (cand != kNone && chain-- > 0) {
        const std::size_t c = cand;
        if (pos - c > maxDist_) break;
        // The bytes around the current best length must agree before the
        // whole run is compared.
        const bool tailAgrees = best < 4 || Load32(c + best - 3) == Load32(pos + best - 3);
        if (tailAgrees && Load32(c) == first4 && Byte(c + best) == Byte(pos + best)) {
          const int len = static_cast<int>(MatchLength(c, pos, limit));
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
      const uint32_t c3 = head3_[Hash3(pos)];
      if (c3 != kNone && pos - c3 <= std::min<std::size_t>(maxDist_, 4096) && Byte(c3) == Byte(pos) &&
          Byte(c3 + 1) == Byte(pos + 1) && Byte(c3 + 2) == Byte(pos + 2)) {
        best = static_cast<int>(MatchLength(c3, pos, limit));
        *dist = pos - c3;
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
      if (loaded_ < n_ && pos + kLookahead > loaded_ && !Load(pos)) return false;
      if (out_.size() >= kDrainBytes && !Drain()) return false;
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
    cSym_.push_back(c);
    ++cFreq_[c];
    if (cSym_.size() >= kBlockSymbols) FlushBlock();
  }

  void EmitMatch(int len, std::size_t dist) {
    const uint16_t c = static_cast<uint16_t>(len - kMinMatch + 256);
    const uint32_t p = static_cast<uint32_t>(dist - 1);
    cSym_.push_back(c);
    pVal_.push_back(static_cast<uint16_t>(p));
    ++cFreq_[c];
    ++pFreq_[BitLength(p)];
    if (cSym_.size() >= kBlockSymbols) FlushBlock();
  }

  void WritePtLengths(const uint8_t* len, int n, int nBits, int special) {
    while (n > 0 && len[n - 1] == 0) --n;
    bw_.Put(nBits, n);
    int i = 0;
    while (i < n) {
      int k = len[i++];
      if (k <= 6) {
        bw_.Put(3, k);
      } else {
        bw_.Put(k - 3, (1u << (k - 3)) - 2);
      }
      if (i == special) {
        while (i < 6 && len[i] == 0) ++i;
        bw_.Put(2, (i - 3) & 3);
      }
    }
  }

  // Code-length alphabet: 0 one zero, 1 a run of 3..18 zeros (4 bits),
  // 2 a run of 20.. zeros (9 bits), k + 2 a length k.
  template <typename F>
  void WalkCLengths(int n, F&& emit) {
    int i = 0;
    while (i < n) {
      int k = cLen_[i++];
      if (k == 0) {
        int count = 1;
        while (i < n && cLen_[i] == 0) {
          ++i;
          ++count;
        }
        if (count <= 2) {
          for (int j = 0; j < count; ++j) emit(0, 0, 0);
        } else if (count <= 18) {
          emit(1, 4, count - 3);
        } else if (count == 19) {
          emit(0, 0, 0);
          emit(1, 4, 15);
        } else {
          emit(2, kCBits, count - 20);
        }
      } else {
        emit(k + 2, 0, 0);
      }
    }
  }

  void FlushBlock() {
    if (cSym_.empty()) return;
    const int cRoot = BuildCodeLengths(cFreq_, kNC, kMaxCodeBits, cLen_);
    bw_.Put(16, static_cast<uint32_t>(cSym_.size()));
    if (cRoot < 0) {
      BuildCanonicalCodes(cLen_, kNC, cCode_);
      int n = kNC;
      while (n > 0 && cLen_[n - 1] == 0) --n;
      uint32_t tFreq[kNT] = {};
      WalkCLengths(n, [&](int sym, int, int) { ++tFreq[sym]; });
      uint8_t tLen[kNT];
      uint16_t tCode[kNT] = {};
      const int tRoot = BuildCodeLengths(tFreq, kNT, kMaxCodeBits, tLen);
      if (tRoot < 0) {
        BuildCanonicalCodes(tLen, kNT, tCode);
        WritePtLengths(tLen, kNT, kTBits, 3);
      } else {
        bw_.Put(kTBits, 0);
        bw_.Put(kTBits, tRoot);
      }
      bw_.Put(kCBits, n);
      WalkCLengths(n, [&](int sym, int extraBits, int extra) {
        bw_.Put(tLen[sym], tCode[sym]);
        bw_.Put(extraBits, extra);
      });
    } else {
      std::fill(std::begin(cCode_), std::end(cCode_), 0);
      bw_.Put(kTBits, 0);
      bw_.Put(kTBits, 0);
      bw_.Put(kCBits, 0);
      bw_.Put(kCBits, cRoot);
    }
    uint8_t pLen[18];
    uint16_t pCode[18] = {};
    const int pRoot = BuildCodeLengths(pFreq_, np_, kMaxCodeBits, pLen);
    if (pRoot < 0) {
      BuildCanonicalCodes(pLen, np_, pCode);
      WritePtLengths(pLen, np_, pBits_, -1);
    } else {
      bw_.Put(pBits_, 0);
      bw_.Put(pBits_, pRoot);
    }
    std::size_t pi = 0;
    for (uint16_t c : cSym_) {
      bw_.Put(cLen_[c], cCode_[c]);
      if (c >= 256) {
        const uint32_t p = pVal_[pi++];
        const int pc = BitLength(p);
        bw_.Put(pLen[pc], pCode[pc]);
        if (pc > 1) bw_.Put(pc - 1, p & ((1u << (pc - 1)) - 1));
      }
    }
    cSym_.clear();
    pVal_.clear();
    std::fill(std::begin(cFreq_), std::end(cFreq_), 0);
    std::fill(std::begin(pFreq_), std::end(pFreq_), 0);
  }

  // Codes per block: the trees cost about 100 bytes, so large blocks pay,
  // and the counter of a block is 16 bits.
  static constexpr std::size_t kBlockSymbols = 32768;

  const ByteSource& source_;
  const ByteSink& sink_;
  std::vector<uint8_t> buf_;
  std::size_t base_ = 0;    // position of buf_[0]
  std::size_t loaded_ = 0;  // position after the last byte read
  std::size_t n_;
  int dictBits_;
  std::size_t windowSize_ = 0;
  std::size_t maxDist_ = 0;
  int np_ = 14;
  int pBits_ = 4;
  int hashBits_ = 15;
  Params params_{};
  static constexpr int kHash3Bits = 14;
  std::vector<uint32_t> head_;
  std::vector<uint32_t> head3_;
  std::vector<uint32_t> prev_;
  std::vector<uint8_t> out_;
  BitWriter bw_;
  std::vector<uint16_t> cSym_;
  std::vector<uint16_t> pVal_;
  uint32_t cFreq_[kNC] = {};
  uint32_t pFreq_[18] = {};
  uint8_t cLen_[kNC] = {};
  uint16_t cCode_[kNC] = {};
};

}  // namespace

bool EncodeLzh(const ByteSource& source, uint64_t size, const EncoderOptions& options, const ByteSink& sink) {
  if (size == 0) return true;
  auto enc = std::make_unique<Encoder>(source, size, options.dictionaryBits, sink);
  return enc->Run();
}

std::vector<uint8_t> EncodeLzh(const uint8_t* data, std::size_t size, const EncoderOptions& options) {
  std::vector<uint8_t> out;
  std::size_t at = 0;
  const ByteSource source = [&](uint8_t* buf, std::size_t n) {
    const std::size_t k = std::min(n, size - at);
    std::memcpy(buf, data + at, k);
    at += k;
    return k;
  };
  const ByteSink sink = [&](const uint8_t* d, std::size_t n) {
    out.insert(out.end(), d, d + n);
    return true;
  };
  EncodeLzh(source, size, options, sink);
  return out;
}

}  // namespace lha
