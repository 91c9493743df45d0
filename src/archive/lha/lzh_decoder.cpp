// LZH decoder: table-driven Huffman decoding into a flat buffer that keeps
// one dictionary of history in front of the data not yet handed out.
#include <algorithm>
#include <cstring>
#include <memory>

#include "archive/lha/lzh_codec.h"
#include "archive/lha/lzh_format.h"
#include "archive/lha/lzh_huffman.h"

namespace lha {
namespace {

constexpr int kNC = kLzhLiteralLengthCodes;
constexpr int kNT = kLzhCodeLengthCodes;
constexpr int kTBits = kLzhCodeLengthCountBits;
constexpr int kCBits = kLzhLiteralLengthCountBits;

inline uint64_t FromBigEndian(uint64_t v) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  return __builtin_bswap64(v);
#else
  return v;
#endif
}

// Bits most significant first from a source read in pieces of kInput
// bytes, so that a member of any size is decoded in bounded memory.
class BitReader {
 public:
  static constexpr std::size_t kInput = std::size_t{1} << 16;

  explicit BitReader(const ByteSource& source) : source_(source), in_(new uint8_t[kInput]) {
    p_ = end_ = in_.get();
  }

  // Afterwards at least 57 bits are buffered.
  void Refill() {
    if (count_ > 56) return;
    if (end_ - p_ < 8 && !exhausted_) Fill();
    if (end_ - p_ >= 8) {
      uint64_t v;
      std::memcpy(&v, p_, 8);
      buf_ |= FromBigEndian(v) >> count_;
      const int bytes = (64 - count_) >> 3;
      p_ += bytes;
      count_ += bytes * 8;
      return;
    }
    while (count_ <= 56) {
      uint64_t b = 0;
      if (p_ < end_) {
        b = *p_++;
      } else {
        ++overrun_;
      }
      buf_ |= b << (56 - count_);
      count_ += 8;
    }
  }
  uint32_t Peek(int n) const { return n ? static_cast<uint32_t>(buf_ >> (64 - n)) : 0; }
  void Skip(int n) {
    buf_ <<= n;
    count_ -= n;
  }
  uint32_t Get(int n) {
    Refill();
    uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  // Zero bytes supplied past the end of the data.
  std::size_t Overrun() const { return overrun_; }

 private:
  // Keeps the bytes not yet taken and reads more behind them.
  void Fill() {
    const std::size_t keep = static_cast<std::size_t>(end_ - p_);
    std::memmove(in_.get(), p_, keep);
    std::size_t have = keep;
    while (have < kInput) {
      const std::size_t got = source_(in_.get() + have, kInput - have);
      if (got == 0) {
        exhausted_ = true;
        break;
      }
      have += got;
    }
    p_ = in_.get();
    end_ = in_.get() + have;
  }

  const ByteSource& source_;
  std::unique_ptr<uint8_t[]> in_;
  bool exhausted_ = false;
  const uint8_t* p_;
  const uint8_t* end_;
  uint64_t buf_ = 0;
  int count_ = 0;
  std::size_t overrun_ = 0;
};

// A decoding table: codes up to kTableBits long are looked up directly,
// longer ones are found from the canonical code ranges of each length.
template <int kTableBits>
class HuffmanTable {
 public:
  static constexpr uint32_t kLong = 0xFF;

  void BuildSingle(int sym) {
    std::fill(std::begin(table_), std::end(table_), static_cast<uint32_t>(sym));
  }

  bool Build(const uint8_t* lengths, int n) {
    uint16_t count[kMaxCodeBits + 1] = {};
    for (int i = 0; i < n; ++i) ++count[lengths[i]];
    count[0] = 0;
    uint32_t kraft = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) kraft += static_cast<uint32_t>(count[len]) << (kMaxCodeBits - len);
    if (kraft != (1u << kMaxCodeBits)) return false;
    uint32_t code = 0;
    int index = 0;
    for (int len = 1; len <= kMaxCodeBits; ++len) {
      first_[len] = code;
      count_[len] = count[len];
      offset_[len] = index;
      index += count[len];
      code = (code + count[len]) << 1;
    }
    uint32_t next[kMaxCodeBits + 1];
    int slot[kMaxCodeBits + 1];
    for (int len = 1; len <= kMaxCodeBits; ++len) {
      next[len] = first_[len];
      slot[len] = offset_[len];
    }
    for (int s = 0; s < n; ++s) {
      const int len = lengths[s];
      if (!len) continue;
      const uint32_t c = next[len]++;
      sorted_[slot[len]++] = static_cast<uint16_t>(s);
      if (len <= kTableBits) {
        const uint32_t from = c << (kTableBits - len);
        const uint32_t to = (c + 1) << (kTableBits - len);
        const uint32_t entry = static_cast<uint32_t>(s) | (static_cast<uint32_t>(len) << 16);
        for (uint32_t i = from; i < to; ++i) table_[i] = entry;
      } else {
        table_[c >> (len - kTableBits)] = kLong << 16;
      }
    }
    return true;
  }

  // The reader must hold at least 16 bits. Returns -1 on a code that
  // cannot occur in a complete code (never for a table Build accepted).
  int Decode(BitReader& br) const {
    const uint32_t e = table_[br.Peek(kTableBits)];
    const uint32_t len = e >> 16;
    if (len != kLong) {
      br.Skip(static_cast<int>(len));
      return static_cast<int>(e & 0xFFFF);
    }
    const uint32_t bits = br.Peek(kMaxCodeBits);
    for (int l = kTableBits + 1; l <= kMaxCodeBits; ++l) {
      const uint32_t c = bits >> (kMaxCodeBits - l);
      if (c - first_[l] < count_[l]) {
        br.Skip(l);
        return sorted_[offset_[l] + (c - first_[l])];
      }
    }
    return -1;
  }

 private:
  uint32_t table_[1u << kTableBits] = {};
  uint32_t first_[kMaxCodeBits + 1] = {};
  uint32_t count_[kMaxCodeBits + 1] = {};
  int offset_[kMaxCodeBits + 1] = {};
  uint16_t sorted_[kNC] = {};
};

using CTable = HuffmanTable<12>;
using PtTable = HuffmanTable<8>;

// Copies a match of `len` bytes from `dist` bytes back to `dst`. Most
// matches are short: they are copied sixteen (or eight) bytes at a time,
// which may write up to fifteen bytes past the match into the buffer's
// slack; those are overwritten by what comes next. A chunk never reads
// bytes it has not written yet, as it reads at least its width back.
// Built for size (the Windows self-extractor stub must stay within 62 KiB),
// a plain byte loop does.
inline void CopyMatch(uint8_t* dst, uint32_t dist, uint32_t len) {
  const uint8_t* src = dst - dist;
#if defined(__OPTIMIZE_SIZE__)
  for (uint32_t i = 0; i < len; ++i) dst[i] = src[i];
#else
  if (dist >= 16) {
    for (uint32_t i = 0; i < len; i += 16) std::memcpy(dst + i, src + i, 16);
  } else if (dist >= 8) {
    for (uint32_t i = 0; i < len; i += 8) std::memcpy(dst + i, src + i, 8);
  } else if (dist == 1) {
    std::memset(dst, *src, len);
  } else {
    // A repeating pattern shorter than eight bytes: it repeats as well at
    // the first multiple of its length that is eight or more, `step`, so
    // after the first step - dist bytes it is copied from that far back
    // eight bytes at a time.
    const uint32_t step = (8 + dist - 1) / dist * dist;
    uint32_t i = 0;
    for (; i < len && i < step - dist; ++i) dst[i] = src[i];
    for (; i < len; i += 8) std::memcpy(dst + i, dst + i - step, 8);
  }
#endif
}

class Decoder {
 public:
  Decoder(int dictBits, const ByteSource& source, const ByteSink& sink) : br_(source), sink_(sink) {
    const LzhDistanceTree distances = LzhDistanceTree::For(dictBits);
    np_ = distances.symbols;
    pBits_ = distances.countBits;
    history_ = std::size_t{1} << (np_ - 1);  // the farthest a distance code can reach
    // Behind the chunk: room for a match that starts at its end, and for
    // the bytes a match copy may write past the match (see CopyMatch).
    buf_.resize(history_ + kChunk + 2 * 256 + 16);
    // Data before the start of the stream reads as blanks, as the format's
    // reference decoder primes its dictionary.
    std::memset(buf_.data(), ' ', history_);
  }

  DecodeStatus Run(uint64_t originalSize) {
    std::size_t pos = history_;
    std::size_t emitted = history_;
    uint64_t produced = 0;
    uint32_t blockLeft = 0;
    uint8_t* const out = buf_.data();
    while (produced < originalSize) {
      if (blockLeft == 0) {
        if (br_.Overrun() > 64) return DecodeStatus::kCorrupt;
        blockLeft = br_.Get(16);
        if (blockLeft == 0) blockLeft = 0x10000;
        if (!ReadTrees()) return DecodeStatus::kCorrupt;
      }
      --blockLeft;
      br_.Refill();
      const int c = cTable_.Decode(br_);
      if (c < 0) return DecodeStatus::kCorrupt;
      if (c < 256) {
        out[pos++] = static_cast<uint8_t>(c);
        ++produced;
      } else {
        uint32_t len = static_cast<uint32_t>(c) - 253;
        const int pc = pTable_.Decode(br_);
        if (pc < 0) return DecodeStatus::kCorrupt;
        uint32_t dist = static_cast<uint32_t>(pc);
        if (pc > 1) dist = (1u << (pc - 1)) + br_.Get(pc - 1);
        ++dist;
        if (len > originalSize - produced) len = static_cast<uint32_t>(originalSize - produced);
        CopyMatch(out + pos, dist, len);
        pos += len;
        produced += len;
      }
      if (pos >= history_ + kChunk) {
        if (!sink_(out + emitted, pos - emitted)) return DecodeStatus::kSinkFailed;
        std::memmove(out, out + pos - history_, history_);
        pos = history_;
        emitted = history_;
      }
    }
    if (pos > emitted && !sink_(out + emitted, pos - emitted)) return DecodeStatus::kSinkFailed;
    return DecodeStatus::kOk;
  }

 private:
  bool ReadPtLengths(int nn, int nBits, int special, PtTable& table) {
    const int n = static_cast<int>(br_.Get(nBits));
    if (n == 0) {
      const int c = static_cast<int>(br_.Get(nBits));
      if (c >= nn) return false;
      table.BuildSingle(c);
      return true;
    }
    if (n > nn) return false;
    uint8_t len[kNT] = {};
    int i = 0;
    while (i < n) {
      br_.Refill();
      int c = static_cast<int>(br_.Peek(3));
      br_.Skip(3);
      if (c == 7) {
        while (br_.Peek(1)) {
          br_.Skip(1);
          if (++c > kMaxCodeBits) return false;
        }
        br_.Skip(1);
      }
      len[i++] = static_cast<uint8_t>(c);
      if (i == special) {
        int zeros = static_cast<int>(br_.Get(2));
        while (zeros-- > 0 && i < nn) len[i++] = 0;
      }
    }
    return table.Build(len, nn);
  }

  bool ReadCLengths() {
    const int n = static_cast<int>(br_.Get(kCBits));
    if (n == 0) {
      const int c = static_cast<int>(br_.Get(kCBits));
      if (c >= kNC) return false;
      cTable_.BuildSingle(c);
      return true;
    }
    if (n > kNC) return false;
    uint8_t len[kNC] = {};
    int i = 0;
    while (i < n) {
      br_.Refill();
      int c = ptTable_.Decode(br_);
      if (c < 0) return false;
      if (c <= 2) {
        int run = 1;
        if (c == 1) {
          run = static_cast<int>(br_.Get(4)) + 3;
        } else if (c == 2) {
          run = static_cast<int>(br_.Get(kCBits)) + 20;
        }
        if (i + run > kNC) return false;
        i += run;  // len[] is zero already
      } else {
        len[i++] = static_cast<uint8_t>(c - 2);
      }
    }
    return cTable_.Build(len, kNC);
  }

  bool ReadTrees() {
    if (!ReadPtLengths(kNT, kTBits, 3, ptTable_)) return false;
    if (!ReadCLengths()) return false;
    return ReadPtLengths(np_, pBits_, -1, pTable_);
  }

  static constexpr std::size_t kChunk = std::size_t{1} << 18;

  BitReader br_;
  const ByteSink& sink_;
  int np_ = 14;
  int pBits_ = 4;
  std::size_t history_ = 0;
  std::vector<uint8_t> buf_;
  PtTable ptTable_;
  CTable cTable_;
  PtTable pTable_;
};

}  // namespace

int DictionaryBits(const char method[5]) {
  if (method[0] != '-' || method[1] != 'l' || method[2] != 'h' || method[4] != '-') return 0;
  switch (method[3]) {
    case '4': return 12;
    case '5': return 13;
    case '6': return 15;
    case '7': return 16;
    default: return 0;
  }
}

DecodeStatus DecodeLzh(int dictionaryBits, const ByteSource& source, uint64_t originalSize, const ByteSink& sink) {
  if (dictionaryBits < 12 || dictionaryBits > 16) return DecodeStatus::kCorrupt;
  auto decoder = std::make_unique<Decoder>(dictionaryBits, source, sink);
  return decoder->Run(originalSize);
}

DecodeStatus DecodeLzh(int dictionaryBits, const uint8_t* packed, std::size_t packedSize,
                       uint64_t originalSize, const ByteSink& sink) {
  return DecodeLzh(dictionaryBits, ByteSource(MemorySource{packed, packedSize}), originalSize, sink);
}

}  // namespace lha
