#include "archive/lha/early_methods.h"

#include <algorithm>
#include <cstring>

namespace lha {
namespace {

// Decoded bytes go out through the sink in pieces of this size.
constexpr std::size_t kOutChunk = 4096;

class Output {
 public:
  Output(uint64_t total, const ByteSink& sink) : left_(total), sink_(sink) {}
  bool done() const { return left_ == 0; }
  // False when the sink refused.
  bool Put(uint8_t b) {
    buf_[n_++] = b;
    --left_;
    return (n_ < kOutChunk && left_ > 0) || Flush();
  }
  bool Flush() {
    const bool ok = n_ == 0 || sink_(buf_, n_);
    n_ = 0;
    return ok;
  }

 private:
  uint64_t left_;
  const ByteSink& sink_;
  uint8_t buf_[kOutChunk];
  std::size_t n_ = 0;
};

// Packed bytes, read from the source in small pieces.
class Input {
 public:
  explicit Input(const ByteSource& source) : source_(source) {}
  // False at the end of the packed data.
  bool Next(uint8_t& b) {
    if (at_ == n_) {
      n_ = ended_ ? 0 : source_(buf_, sizeof buf_);
      at_ = 0;
      if (n_ == 0) {
        ended_ = true;
        return false;
      }
    }
    b = buf_[at_++];
    return true;
  }

 private:
  const ByteSource& source_;
  uint8_t buf_[4096];
  std::size_t at_ = 0;
  std::size_t n_ = 0;
  bool ended_ = false;
};

// Bits most significant first; reading past the end sets `overrun`.
class Bits {
 public:
  explicit Bits(Input& in) : in_(in) {}
  unsigned Get(int count) {
    unsigned v = 0;
    while (count-- > 0) {
      if (left_ == 0) {
        if (!in_.Next(byte_)) {
          overrun = true;
          v <<= 1;
          continue;
        }
        left_ = 8;
      }
      v = (v << 1) | ((byte_ >> --left_) & 1u);
    }
    return v;
  }
  bool overrun = false;

 private:
  Input& in_;
  uint8_t byte_ = 0;
  int left_ = 0;
};

DecodeStatus Finish(Output& out, bool corrupt) {
  if (!out.Flush()) return DecodeStatus::kSinkFailed;
  return corrupt || !out.done() ? DecodeStatus::kCorrupt : DecodeStatus::kOk;
}

// -lzs-: flag bit 1 = a literal byte; 0 = an 11-bit window position and a
// 4-bit length (2 to 17 bytes). The window starts as spaces.
DecodeStatus DecodeLzs(const ByteSource& source, uint64_t total, const ByteSink& sink) {
  constexpr unsigned kSize = 2048;
  uint8_t ring[kSize];
  std::memset(ring, ' ', kSize);
  unsigned r = kSize - 17;
  Output out(total, sink);
  Input in(source);
  Bits bits(in);
  while (!out.done()) {
    if (bits.Get(1)) {
      const uint8_t c = static_cast<uint8_t>(bits.Get(8));
      if (bits.overrun) break;
      ring[r++ % kSize] = c;
      r %= kSize;
      if (!out.Put(c)) return DecodeStatus::kSinkFailed;
    } else {
      const unsigned pos = bits.Get(11);
      const unsigned len = bits.Get(4) + 2;
      if (bits.overrun) break;
      for (unsigned i = 0; i < len && !out.done(); ++i) {
        const uint8_t c = ring[(pos + i) % kSize];
        ring[r] = c;
        r = (r + 1) % kSize;
        if (!out.Put(c)) return DecodeStatus::kSinkFailed;
      }
    }
  }
  return Finish(out, bits.overrun);
}

// -lz5-: a flag byte for the next eight items, least significant bit first:
// 1 = a literal byte; 0 = two bytes holding a 12-bit window position and a
// 4-bit length (3 to 18 bytes). The window starts with runs of every byte
// value, the values up and down, zeros and spaces, so that early matches
// can copy common byte runs.
DecodeStatus DecodeLz5(const ByteSource& source, uint64_t total, const ByteSink& sink) {
  constexpr unsigned kSize = 4096;
  uint8_t ring[kSize] = {};
  unsigned p = 0;
  for (unsigned v = 0; v < 256; ++v) {
    for (int k = 0; k < 13; ++k) ring[p++] = static_cast<uint8_t>(v);
  }
  for (unsigned v = 0; v < 256; ++v) ring[p++] = static_cast<uint8_t>(v);
  for (unsigned v = 0; v < 256; ++v) ring[p++] = static_cast<uint8_t>(255 - v);
  for (int k = 0; k < 128; ++k) ring[p++] = 0;
  while (p < kSize - 18) ring[p++] = ' ';
  unsigned r = kSize - 18;
  Output out(total, sink);
  Input in(source);
  bool corrupt = false;
  while (!out.done() && !corrupt) {
    uint8_t flags;
    if (!in.Next(flags)) {
      corrupt = true;
      break;
    }
    for (int item = 0; item < 8 && !out.done(); ++item) {
      if (flags & (1u << item)) {
        uint8_t c;
        if (!in.Next(c)) {
          corrupt = true;
          break;
        }
        ring[r] = c;
        r = (r + 1) % kSize;
        if (!out.Put(c)) return DecodeStatus::kSinkFailed;
      } else {
        uint8_t low, high;
        if (!in.Next(low) || !in.Next(high)) {
          corrupt = true;
          break;
        }
        const unsigned pos = low | ((high & 0xF0u) << 4);
        const unsigned len = (high & 0x0Fu) + 3;
        for (unsigned i = 0; i < len && !out.done(); ++i) {
          const uint8_t c = ring[(pos + i) % kSize];
          ring[r] = c;
          r = (r + 1) % kSize;
          if (!out.Put(c)) return DecodeStatus::kSinkFailed;
        }
      }
    }
  }
  return Finish(out, corrupt);
}

// -lh1-: symbols in the adaptive code; a symbol above 255 is a match of
// (symbol - 253) bytes whose distance less one has its upper six bits in the
// fixed code and its lower six bits as they are.
DecodeStatus DecodeLh1(const ByteSource& source, uint64_t total, const ByteSink& sink) {
  constexpr unsigned kSize = 4096;
  uint8_t ring[kSize];
  std::memset(ring, ' ', kSize);
  unsigned r = 0;
  // The fixed code read eight bits at a time: the value and the length of
  // the code that begins with each byte.
  uint8_t upperOf[256], lengthOf[256];
  for (int v = 0; v < 64; ++v) {
    const int len = kUpperLength[v];
    const int first = UpperCode(v);
    for (int b = first; b < first + (1 << (8 - len)); ++b) {
      upperOf[b] = static_cast<uint8_t>(v);
      lengthOf[b] = static_cast<uint8_t>(len);
    }
  }
  AdaptiveCode code;
  Output out(total, sink);
  Input in(source);
  Bits bits(in);
  while (!out.done() && !bits.overrun) {
    int node = code.son[AdaptiveCode::kRoot];
    while (node < AdaptiveCode::kTree) node = code.son[node + static_cast<int>(bits.Get(1))];
    const int symbol = node - AdaptiveCode::kTree;
    code.Update(symbol);
    if (bits.overrun) break;
    if (symbol < 256) {
      ring[r] = static_cast<uint8_t>(symbol);
      r = (r + 1) % kSize;
      if (!out.Put(static_cast<uint8_t>(symbol))) return DecodeStatus::kSinkFailed;
      continue;
    }
    const unsigned first = bits.Get(8);
    const unsigned distance =
        (static_cast<unsigned>(upperOf[first]) << 6) | (((first << (lengthOf[first] - 2)) | bits.Get(lengthOf[first] - 2)) & 0x3Fu);
    const unsigned len = static_cast<unsigned>(symbol) - 253;
    unsigned from = (r + kSize - distance - 1) % kSize;
    for (unsigned i = 0; i < len && !out.done(); ++i) {
      const uint8_t c = ring[from];
      from = (from + 1) % kSize;
      ring[r] = c;
      r = (r + 1) % kSize;
      if (!out.Put(c)) return DecodeStatus::kSinkFailed;
    }
  }
  return Finish(out, bits.overrun);
}

}  // namespace

const uint8_t kUpperLength[64] = {3, 4, 4, 4, 5, 5, 5, 5, 5, 5, 5, 5, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6,
                                  7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
                                  8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8};

uint8_t UpperCode(int value) {
  // Codes in order of value, each the previous one plus one at its length.
  int code = 0;
  for (int v = 0; v < value; ++v) code += 1 << (8 - kUpperLength[v]);
  return static_cast<uint8_t>(code);
}

AdaptiveCode::AdaptiveCode() {
  for (int i = 0; i < kSymbols; ++i) {
    freq_[i] = 1;
    son[i] = i + kTree;
    parent[i + kTree] = i;
  }
  for (int i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
    freq_[j] = freq_[i] + freq_[i + 1];
    son[j] = i;
    parent[i] = parent[i + 1] = j;
  }
  freq_[kTree] = 0xFFFF;  // a guard above every count
  parent[kRoot] = 0;
}

void AdaptiveCode::Rebuild() {
  // Leaves to the front with their counts halved, then inner nodes again
  // from the two smallest, kept in count order.
  int j = 0;
  for (int i = 0; i < kTree; ++i) {
    if (son[i] >= kTree) {
      freq_[j] = (freq_[i] + 1) / 2;
      son[j] = son[i];
      ++j;
    }
  }
  for (int i = 0, k = kSymbols; k < kTree; i += 2, ++k) {
    const unsigned f = freq_[i] + freq_[i + 1];
    int at = k - 1;
    while (f < freq_[at]) --at;
    ++at;
    std::copy_backward(freq_ + at, freq_ + k, freq_ + k + 1);
    std::copy_backward(son + at, son + k, son + k + 1);
    freq_[at] = f;
    son[at] = i;
  }
  for (int i = 0; i < kTree; ++i) {
    const int s = son[i];
    if (s >= kTree) {
      parent[s] = i;
    } else {
      parent[s] = parent[s + 1] = i;
    }
  }
}

void AdaptiveCode::Update(int symbol) {
  if (freq_[kRoot] == 0x8000) Rebuild();
  int c = parent[symbol + kTree];
  do {
    const unsigned k = ++freq_[c];
    // Swap the node with the last one of smaller count, if any.
    int l = c + 1;
    if (k > freq_[l]) {
      while (k > freq_[++l]) {
      }
      --l;
      freq_[c] = freq_[l];
      freq_[l] = k;
      const int i = son[c];
      parent[i] = l;
      if (i < kTree) parent[i + 1] = l;
      const int s = son[l];
      son[l] = i;
      parent[s] = c;
      if (s < kTree) parent[s + 1] = c;
      son[c] = s;
      c = l;
    }
    c = parent[c];
  } while (c != 0);
}

bool IsEarlyMethod(const char method[5]) {
  if (method[0] != '-' || method[1] != 'l' || method[4] != '-') return false;
  return (method[2] == 'z' && (method[3] == 's' || method[3] == '5')) || (method[2] == 'h' && method[3] == '1');
}

DecodeStatus DecodeEarlyMethod(const char method[5], const ByteSource& source, uint64_t originalSize,
                               const ByteSink& sink) {
  if (method[2] == 'z' && method[3] == 's') return DecodeLzs(source, originalSize, sink);
  if (method[2] == 'z' && method[3] == '5') return DecodeLz5(source, originalSize, sink);
  return DecodeLh1(source, originalSize, sink);
}

}  // namespace lha
