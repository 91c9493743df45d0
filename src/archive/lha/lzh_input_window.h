// The encoder's view of its input: the dictionary window behind the
// current position and a segment ahead of it, refilled from the source as
// the position advances, so memory stays bounded whatever the input size.
// Positions are counted from the start of the input.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <vector>

#include "archive/lha/lzh_codec.h"

namespace lha {

// How many bytes at `a` and `b` agree, counting on from `len` (known
// equal) up to `limit`. Sixteen bytes are compared at a time: most
// matches end within the first sixteen, so the loop rarely goes round and
// its exit is rarely mispredicted.
inline std::size_t CountEqualBytes(const uint8_t* a, const uint8_t* b, std::size_t len, std::size_t limit) {
#if defined(__SSE2__)
  while (len + 16 <= limit) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + len));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + len));
    const unsigned equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)));
    if (equal != 0xFFFFu) return len + static_cast<std::size_t>(__builtin_ctz(~equal));
    len += 16;
  }
#endif
  while (len + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + len, 8);
    std::memcpy(&y, b + len, 8);
    const uint64_t diff = x ^ y;
    if (diff) return len + static_cast<std::size_t>(__builtin_ctzll(diff) >> 3);
    len += 8;
  }
  while (len < limit && a[len] == b[len]) ++len;
  return len;
}

class LzhInputWindow {
 public:
  // Every position a match search looks at lies within kLookahead bytes of
  // the position being coded.
  static constexpr std::size_t kLookahead = 1024;

  LzhInputWindow() = default;
  LzhInputWindow(const ByteSource& source, std::size_t size, std::size_t windowSize, std::size_t segment) {
    Reset(source, size, windowSize, segment);
  }

  // Starts over on another input; the buffer is kept when it is large
  // enough, so an encoder that packs one member after another allocates it
  // once.
  void Reset(const ByteSource& source, std::size_t size, std::size_t windowSize, std::size_t segment) {
    source_ = &source;
    size_ = size;
    windowSize_ = windowSize;
    base_ = 0;
    loaded_ = 0;
    buf_.resize(std::max<std::size_t>(1, std::min(size, windowSize + segment + 2 * kLookahead)));
    data_ = buf_.data();
  }

  // Starts over on `size` bytes held in memory elsewhere, read in place
  // (they must stay there while this input is used).
  void ResetInPlace(const uint8_t* data, std::size_t size, std::size_t windowSize) {
    source_ = nullptr;
    size_ = size;
    windowSize_ = windowSize;
    base_ = 0;
    loaded_ = size;
    data_ = data;
  }

  std::size_t size() const { return size_; }
  std::size_t loaded() const { return loaded_; }

  // True when the bytes from `pos` up to `pos + ahead` (or the end of the
  // input) are in the buffer.
  bool Holds(std::size_t pos, std::size_t ahead) const { return loaded_ == size_ || pos + ahead <= loaded_; }

  // Keeps the window before `pos` and reads input behind it until the
  // buffer is full or the input is all read. False when the source ends
  // early.
  bool Load(std::size_t pos) {
    if (!source_) return true;  // read in place: all there
    const std::size_t keepFrom = pos > windowSize_ + 1 ? pos - windowSize_ - 1 : base_;
    if (keepFrom > base_) {
      std::memmove(buf_.data(), At(keepFrom), loaded_ - keepFrom);
      base_ = keepFrom;
    }
    while (loaded_ < size_ && loaded_ - base_ < buf_.size()) {
      const std::size_t want = std::min(buf_.size() - (loaded_ - base_), size_ - loaded_);
      const std::size_t got = (*source_)(buf_.data() + (loaded_ - base_), want);
      if (got == 0) return false;
      loaded_ += got;
    }
    return true;
  }

  const uint8_t* At(std::size_t pos) const { return data_ + (pos - base_); }
  uint8_t Byte(std::size_t pos) const { return data_[pos - base_]; }
  uint32_t Load32(std::size_t pos) const {
    uint32_t v;
    std::memcpy(&v, At(pos), 4);
    return v;
  }

  // Multiplicative hashes, `bits` wide, of the three or four bytes at `pos`
  // (the match finders' table indices). Where four bytes can be read,
  // both come from one load of them: HashOf(v & 0xFFFFFF) and HashOf(v).
  static uint32_t HashOf(uint32_t bytes, int bits) { return (bytes * 2654435761u) >> (32 - bits); }
  uint32_t Hash3(std::size_t pos, int bits) const {
    return HashOf(Byte(pos) | (Byte(pos + 1) << 8) | (Byte(pos + 2) << 16), bits);
  }
  uint32_t Hash4(std::size_t pos, int bits) const { return HashOf(Load32(pos), bits); }

  // How many bytes at `a` and `b` agree, up to `limit`.
  std::size_t MatchLength(std::size_t a, std::size_t b, std::size_t limit) const {
    return CountEqualBytes(At(a), At(b), 0, limit);
  }

 private:
  const ByteSource* source_ = nullptr;
  std::size_t size_ = 0;
  std::size_t windowSize_ = 0;
  std::vector<uint8_t> buf_;
  const uint8_t* data_ = nullptr;  // buf_'s bytes, or those of an input read in place
  std::size_t base_ = 0;    // position of data_[0]
  std::size_t loaded_ = 0;  // position after the last byte read
};

}  // namespace lha
