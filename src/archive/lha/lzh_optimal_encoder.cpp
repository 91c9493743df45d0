// The optimal parse. Input is taken in chunks; for each chunk the match
// tree reports every match length at every position, then a forward pass
// of dynamic programming finds the cheapest sequence of literals and
// matches, where a choice costs the bits its Huffman codes took in the
// previous pass (the previous chunk's, or a greedy parse's for the
// first). The pass is repeated with the costs of its own result. The codes
// are then cut into blocks where a new set of trees pays for itself; the
// last block stays open so that the next chunk's codes can join it.
//
// One encoder packs member after member: its tables and buffers are
// allocated for the first and kept, and the match tree's tables need no
// clearing between members (see LzhMatchTree::Reset).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>

#include "archive/lha/lzh_block.h"
#include "archive/lha/lzh_block_cutter.h"
#include "archive/lha/lzh_encoders.h"
#include "archive/lha/lzh_input_window.h"
#include "archive/lha/lzh_match_tree.h"

namespace lha {
namespace {

constexpr int kNC = kLzhLiteralLengthCodes;
// A position of the chunk as the forward pass keeps it: the cheapest
// cost found to it (in sixteenths of a bit) in the upper 32 bits, the way
// it is reached in the lower (see Way). One unsigned compare then orders
// two ways by cost first and, of one cost, by the way, so that the parse
// does not depend on the order in which the ways are tried.
using Cell = uint64_t;
// A position not reached yet: above every real cost (a chunk costs far
// less than 2^30 sixteenths of a bit), and one byte repeated, so that the
// cells are reset with memset.
constexpr uint8_t kUnreachedByte = 0x7F;
constexpr Cell kUnreached = 0x7F7F7F7F7F7F7F7Full;
static_assert(kUnreached == 0x0101010101010101ull * kUnreachedByte);
inline int32_t CostOf(Cell c) { return static_cast<int32_t>(c >> 32); }
inline uint32_t WayOf(Cell c) { return static_cast<uint32_t>(c); }
// Cells past the end of the arrays of cells that the length loop may read
// and write back unchanged.
constexpr std::size_t kCellPadding = 4;

// Room for a chunk's matches, allocated once and not cleared: the match
// tree writes each position's matches straight into it, and pages never
// written take no memory.
class MatchStore {
 public:
  void Reserve(std::size_t n) {
    if (n <= capacity_) return;
    data_ = std::make_unique_for_overwrite<LzhMatch[]>(n);
    capacity_ = n;
  }
  LzhMatch* data() { return data_.get(); }
  const LzhMatch* data() const { return data_.get(); }

 private:
  std::unique_ptr<LzhMatch[]> data_;
  std::size_t capacity_ = 0;
};

// Costs of each choice in sixteenths of a bit: -log2 of each symbol's share
// in a parse (fractions order the choices better than whole code lengths).
class Prices {
 public:
  static constexpr int kScale = 16;

  void From(const LzhFrequencies& freq, const LzhDistanceTree& tree) {
    uint8_t cLen[kNC];
    uint8_t pLen[kLzhMaxDistanceCodes];
    BuildCodeLengths(freq.c, kNC, kMaxCodeBits, cLen);
    BuildCodeLengths(freq.p, tree.symbols, kMaxCodeBits, pLen);
    // A symbol the parse did not use costs a little more than the rarest
    // one that it did: using it adds it to the tree.
    const int cUnused = *std::max_element(cLen, cLen + kNC) + 1;
    const int pUnused = *std::max_element(pLen, pLen + tree.symbols) + 1;
    uint64_t cTotal = 0, pTotal = 0;
    for (int c = 0; c < kNC; ++c) cTotal += freq.c[c];
    for (int p = 0; p < tree.symbols; ++p) pTotal += freq.p[p];
    for (int c = 0; c < kNC; ++c) code_[c] = freq.c[c] ? Share(freq.c[c], cTotal) : kScale * cUnused;
    for (int p = 0; p < kLzhMaxDistanceCodes; ++p) {
      const int32_t extra = kScale * (p > 1 ? p - 1 : 0);
      distance_[p] = (p < tree.symbols && freq.p[p] ? Share(freq.p[p], pTotal) : kScale * pUnused) + extra;
    }
    for (int len = kLzhMinMatch; len <= kLzhMaxMatch; ++len) {
      lengthCell_[len] = Cell{static_cast<uint32_t>(code_[256 + len - kLzhMinMatch])} << 32 | Cell(len) << 16;
    }
  }
  int32_t Literal(uint8_t c) const { return code_[c]; }
  int32_t Slot(int slot) const { return distance_[slot]; }
  // Per match length: its cost as a cell reached by a match of that
  // length at distance 0 (adding the distance and the cost before it
  // gives the cell the match reaches).
  const Cell* LengthCells() const { return lengthCell_; }

 private:
  static int32_t Share(uint64_t count, uint64_t total) {
    return static_cast<int32_t>(std::lround(kScale * std::log2(static_cast<double>(total) / static_cast<double>(count))));
  }

  int32_t code_[kNC] = {};
  int32_t distance_[kLzhMaxDistanceCodes] = {};
  Cell lengthCell_[kLzhMaxMatch + 1 + kCellPadding] = {};
};

// The way a position is reached: the last code's length << 16 | its
// distance (a literal has length 1, distance 0).
inline uint32_t Way(std::size_t length, uint32_t distance) { return static_cast<uint32_t>(length << 16 | distance); }

// Four cells of the length loop, as signed numbers (cells stay below
// 2^63, so signed and unsigned order agree).
typedef int64_t CellLanes __attribute__((vector_size(32)));

// The lengths covered+1 .. len of one match at one position: to[l] takes
// base + lengths[l] where that is cheaper. `kWide` does four lengths at a
// time; the lanes past `len` keep their cells (the arrays are padded).
template <bool kWide>
inline void OfferLengths(Cell* to, const Cell* lengths, Cell base, std::size_t covered, std::size_t len) {
  if (!kWide) {
    for (std::size_t l = covered + 1; l <= len; ++l) to[l] = std::min(to[l], base + lengths[l]);
    return;
  }
  const int64_t b = static_cast<int64_t>(base), last = static_cast<int64_t>(len);
  const CellLanes vBase = {b, b, b, b};
  const CellLanes vLast = {last, last, last, last};
  CellLanes index = {0, 1, 2, 3};
  index += static_cast<int64_t>(covered + 1);
  const CellLanes step = {4, 4, 4, 4};
  for (std::size_t l = covered + 1; l <= len; l += 4) {
    CellLanes old, add;
    std::memcpy(&old, to + l, sizeof old);
    std::memcpy(&add, lengths + l, sizeof add);
    const CellLanes offer = vBase + add;
    const CellLanes take = (offer < old) & (index <= vLast);
    const CellLanes now = (offer & take) | (old & ~take);
    std::memcpy(to + l, &now, sizeof now);
    index += step;
  }
}

// The forward pass: cell[j] becomes the cheapest way found to position j
// of the chunk. `cell` has room for kCellPadding cells past `count`.
template <bool kWide>
void PriceChunkWith(Cell* cell, std::size_t count, const uint8_t* bytes, const uint32_t* matchStart,
                    const LzhMatch* matches, const Prices& prices) {
  const Cell* lengths = prices.LengthCells();
  cell[0] = 0;
  std::memset(cell + 1, kUnreachedByte, (count + kCellPadding) * sizeof(Cell));
  const uint32_t literalWay = Way(1, 0);
  for (std::size_t i = 0; i < count; ++i) {
    const uint32_t here = static_cast<uint32_t>(CostOf(cell[i]));
    const Cell lit = Cell{here + static_cast<uint32_t>(prices.Literal(bytes[i]))} << 32 | literalWay;
    cell[i + 1] = std::min(cell[i + 1], lit);
    std::size_t covered = kLzhMinMatch - 1;
    const std::size_t room = count - i;
    for (uint32_t k = matchStart[i]; k < matchStart[i + 1]; ++k) {
      const LzhMatch m = matches[k];
      const std::size_t len = std::min<std::size_t>(m.Length(), room);
      if (len <= covered) continue;
      // Lengths past `covered` only: a shorter length is reached as
      // cheaply by the nearer match before.
      const Cell base = Cell{here + static_cast<uint32_t>(prices.Slot(m.slot))} << 32 | m.distance;
      OfferLengths<kWide>(cell + i, lengths, base, covered, len);
      covered = len;
    }
  }
}

// The same pass built for processors with 256-bit vectors, where four
// lengths take one compare.
__attribute__((target("avx2"))) void PriceChunkWide(Cell* cell, std::size_t count, const uint8_t* bytes,
                                                    const uint32_t* matchStart, const LzhMatch* matches,
                                                    const Prices& prices) {
  PriceChunkWith<true>(cell, count, bytes, matchStart, matches, prices);
}

void PriceChunk(Cell* cell, std::size_t count, const uint8_t* bytes, const uint32_t* matchStart,
                const LzhMatch* matches, const Prices& prices, bool allowWide) {
  static const bool wide = __builtin_cpu_supports("avx2");
  if (wide && allowWide) {
    PriceChunkWide(cell, count, bytes, matchStart, matches, prices);
  } else {
    PriceChunkWith<false>(cell, count, bytes, matchStart, matches, prices);
  }
}

}  // namespace

class OptimalParse::Impl {
 public:
  Impl() : matchTree_(in_) {}

  // False when the source ended early or the sink refused.
  bool Encode(const ByteSource& source, uint64_t size, int dictBits, const OptimalTuning& tuning,
              const ByteSink& sink) {
    output_.Reset(sink);
    in_.Reset(source, static_cast<std::size_t>(size), std::size_t{1} << dictBits, kSegment);
    Start(dictBits, tuning, kChunk, kMatchStore);
    return Run(0, true);
  }

  // Parses bytes `prefix` .. `size` of `data` on their own (the bytes
  // before `prefix` only to match against) and leaves their codes in
  // `codes`. The result does not depend on what the encoder did before.
  void ParseSegment(const uint8_t* data, std::size_t prefix, std::size_t size, int dictBits,
                    const OptimalTuning& tuning, std::vector<LzhCode>& codes) {
    in_.ResetInPlace(data, size, std::size_t{1} << dictBits);
    // Half-size chunks: several segments are parsed at a time, and each
    // parser's tables grow with its chunk.
    Start(dictBits, tuning, kChunk / 2, kMatchStore / 2);
    for (std::size_t p = 0; p < prefix; ++p) matchTree_.Insert(p);
    // The codes go straight into `codes` (whose buffer is reused).
    codes_.swap(codes);
    codes_.clear();
    // At most one code per byte: room for them all at once, so that the
    // buffer is never copied to a larger one (its untouched pages take no
    // memory).
    codes_.reserve(size - prefix);
    Run(prefix, false);
    codes_.swap(codes);
  }

  // Codes handed to the block cutter at a time when segments are coded.
  static constexpr std::size_t kPiece = std::size_t{1} << 16;

 private:
  static constexpr std::size_t kSegment = std::size_t{1} << 20;
  static constexpr std::size_t kChunk = std::size_t{1} << 17;
  // A chunk ends early when its matches fill this store (highly repetitive
  // input reports many lengths per position).
  static constexpr std::size_t kMatchStore = std::size_t{1} << 20;
  // How far ahead of the walk the match tree's table entries are fetched.
  static constexpr std::size_t kPrefetchAhead = 16;

  // Sets up for the input `in_` was just given.
  void Start(int dictBits, const OptimalTuning& tuning, std::size_t chunk, std::size_t matchStore) {
    n_ = in_.size();
    chunk_ = chunk;
    matchStore_ = matchStore;
    tuning_ = tuning;
    niceLength_ = dictBits > 13 ? tuning.niceLengthWide : tuning.niceLength;
    tree_ = LzhDistanceTree::For(dictBits);
    matchTree_.Reset(dictBits, tuning_.treeDepth, tuning_.treeDepthShort, tuning_.shortMatch,
                     tuning_.insertToNiceLength ? niceLength_ : kLzhMaxMatch);
    codes_.clear();
    // Small inputs get small tables; the tables of a larger input before
    // are kept.
    // Room for a full store at once: the matches are never copied to a
    // larger buffer, and pages not written take no memory.
    matches_.Reserve(matchStore_);
    const std::size_t cells = std::min(chunk_, n_);
    if (matchStart_.size() < cells + 1) {
      matchStart_.resize(cells + 1);
      cells_.resize(cells + 1 + kCellPadding);
    }
  }

  // Parses the input from `from` on. `toBlocks`: the codes are cut into
  // blocks and written as they come (false: they are all kept in codes_).
  bool Run(std::size_t from, bool toBlocks) {
    if (!in_.Load(0)) return false;
    bool seeded = false;
    std::size_t pos = from;
    while (pos < n_) {
      if (!in_.Holds(pos, chunk_ + LzhInputWindow::kLookahead) && !in_.Load(pos)) return false;
      const std::size_t end = FindMatches(pos);
      // The first chunk starts from rough costs and is parsed more often;
      // later ones start from the costs of the chunk before, which are close.
      const int passes = seeded ? tuning_.passes : tuning_.firstPasses;
      if (!seeded) {
        SeedPrices(pos, end);
        seeded = true;
      }
      for (int pass = 0; pass < passes; ++pass) {
        LzhFrequencies freq;
        const bool last = pass + 1 == passes;
        if (!last && Sampled(end - pos)) {
          GatherFromPieces(pos, end, freq);
        } else {
          Price(pos, end);
          Trace(pos, end, last, freq);
        }
        // The costs of the input's last pass would price nothing: the next
        // input starts from costs of its own (most inputs are one chunk,
        // whose costs were built three times).
        if (!last || end < n_) prices_.From(freq, tree_);
      }
      pos = end;
      if (!toBlocks) continue;
      cutter_.Cut(codes_, pos == n_, output_.bits(), tree_);
      if (!output_.DrainIfFull()) return false;
    }
    return !toBlocks || output_.Finish();
  }

  // Every match at every position of the chunk from `start`; returns the
  // chunk's end.
  std::size_t FindMatches(std::size_t start) {
    const std::size_t stop = std::min(n_, start + chunk_);
    LzhMatch* const store = matches_.data();
    // A position is searched only while a whole position's worth of
    // matches still fits.
    const std::size_t full = matchStore_ - LzhMatchTree::kMaxMatchesPerPosition;
    std::size_t count = 0;
    std::size_t p = start;
    std::size_t searchFrom = start;
    while (p < stop) {
      matchStart_[p - start] = static_cast<uint32_t>(count);
      if (p + kPrefetchAhead < stop) matchTree_.Prefetch(p + kPrefetchAhead);
      if (p < searchFrom) {
        matchTree_.Insert(p++);
        continue;
      }
      const int k = matchTree_.FindAndInsert(p, store + count);
      if (k > 0) {
        const std::size_t longest = store[count + static_cast<std::size_t>(k) - 1].Length();
        if (longest >= static_cast<std::size_t>(niceLength_)) searchFrom = p + longest;
      }
      count += static_cast<std::size_t>(k);
      ++p;
      if (count > full) break;
    }
    matchStart_[p - start] = static_cast<uint32_t>(count);
    return p;
  }

  // Costs for the first chunk: the statistics of taking the longest match
  // wherever there is one.
  void SeedPrices(std::size_t start, std::size_t end) {
    LzhFrequencies freq;
    // Plain pointers: each step waits for the match of the step before,
    // and the tables' addresses are then not fetched again on the way.
    const uint32_t* matchStart = matchStart_.data();
    const LzhMatch* matches = matches_.data();
    const uint8_t* bytes = in_.At(start);
    std::size_t i = 0;
    const std::size_t count = end - start;
    while (i < count) {
      const uint32_t first = matchStart[i], last = matchStart[i + 1];
      if (first < last) {
        const LzhMatch m = matches[last - 1];
        const std::size_t len = std::min<std::size_t>(m.Length(), count - i);
        if (len >= kLzhMinMatch) {
          freq.Add({static_cast<uint16_t>(256 + len - kLzhMinMatch), static_cast<uint16_t>(m.distance - 1)});
          i += len;
          continue;
        }
      }
      freq.Add({bytes[i], 0});
      ++i;
    }
    prices_.From(freq, tree_);
  }

  // The cheapest way to reach each position of the chunk.
  void Price(std::size_t start, std::size_t end) { PricePiece(start, start, end); }

  // The same for the positions from..to of the chunk from `start`, as if
  // the input began at `from` and ended at `to`.
  void PricePiece(std::size_t start, std::size_t from, std::size_t to) {
    PriceChunk(cells_.data(), to - from, in_.At(from), matchStart_.data() + (from - start), matches_.data(), prices_,
               tuning_.wideLengthLoop);
  }

  // Whether a pass that only gathers costs prices a chunk of `count`
  // positions in pieces.
  bool Sampled(std::size_t count) const {
    return tuning_.sampleEvery > 1 && tuning_.samplePiece > 0 &&
           count > tuning_.samplePiece * static_cast<std::size_t>(tuning_.sampleEvery);
  }

  // A pass that only gathers costs, over one piece in every few: each
  // piece is parsed on its own (its matches cut at its end) and the codes
  // of all are counted. The costs of a chunk's own parse come out nearly
  // the same at a fraction of the work.
  void GatherFromPieces(std::size_t start, std::size_t end, LzhFrequencies& freq) {
    const std::size_t piece = tuning_.samplePiece;
    const std::size_t stride = piece * static_cast<std::size_t>(tuning_.sampleEvery);
    for (std::size_t from = start; from < end; from += stride) {
      const std::size_t to = std::min(end, from + piece);
      PricePiece(start, from, to);
      Trace(from, to, false, freq);
    }
  }

  // Follows the cheapest path back from the chunk's end, counting its
  // codes; the last pass also keeps them. The codes are written from the
  // end of `path_` backwards, so that they lie there in order.
  void Trace(std::size_t start, std::size_t end, bool keep, LzhFrequencies& freq) {
    std::size_t j = end - start;
    // At most one code per position.
    if (path_.size() < j) path_.resize(j);
    LzhCode* const last = path_.data() + path_.size();
    LzhCode* code = last;
    const uint8_t* bytes = in_.At(start);
    const Cell* cells = cells_.data();
    while (j > 0) {
      const uint32_t w = WayOf(cells[j]);
      const uint32_t len = w >> 16;
      --code;
      *code = len == 1 ? LzhCode{bytes[j - 1], 0}
                       : LzhCode{static_cast<uint16_t>(256 + len - kLzhMinMatch), static_cast<uint16_t>((w & 0xFFFF) - 1)};
      freq.Add(*code);
      j -= len;
    }
    if (keep) codes_.insert(codes_.end(), code, last);
  }

  LzhBlockOutput output_;
  std::size_t n_ = 0;
  std::size_t chunk_ = kChunk;            // positions parsed at a time
  std::size_t matchStore_ = kMatchStore;  // matches held at a time
  OptimalTuning tuning_;
  int niceLength_ = 128;
  LzhDistanceTree tree_{};
  LzhInputWindow in_;
  LzhMatchTree matchTree_;
  Prices prices_;
  MatchStore matches_;
  std::vector<uint32_t> matchStart_;  // per position of the chunk: its first match in matches_
  // The cheapest way found to each position of the chunk (see Cell).
  std::vector<Cell> cells_;
  std::vector<LzhCode> path_;   // room for a chunk's codes, which Trace writes from the end back
  std::vector<LzhCode> codes_;  // the open block's codes and the chunk's
  LzhBlockCutter cutter_;
};

OptimalParse::OptimalParse() : impl_(std::make_unique<Impl>()) {}
OptimalParse::~OptimalParse() = default;

bool OptimalParse::Encode(const ByteSource& source, uint64_t size, int dictionaryBits, const OptimalTuning& tuning,
                          const ByteSink& sink, int threads) {
  if (size > tuning.segmentFrom && tuning.segmentBytes > 0) {
    return EncodeInSegments(source, size, dictionaryBits, tuning, sink, threads);
  }
  return impl_->Encode(source, size, dictionaryBits, tuning, sink);
}

// A large input: read a few segments at a time, each with the window
// before it, parsed side by side (one on this thread, the others on
// threads of their own), then their codes cut into blocks and written in
// order. Each segment's codes depend on its bytes only, so the output is
// the same whatever the number of threads.
bool OptimalParse::EncodeInSegments(const ByteSource& source, uint64_t size, int dictionaryBits,
                                    const OptimalTuning& tuning, const ByteSink& sink, int threads) {
  const std::size_t window = std::size_t{1} << dictionaryBits;
  const std::size_t segment = tuning.segmentBytes;
  // At most two segments at a time: each parser holds about 7 MB, and a
  // file of any size stays within 16 MB.
  const int parsers = std::clamp(threads, 1, 2);
  while (helpers_.size() + 1 < static_cast<std::size_t>(parsers)) helpers_.push_back(std::make_unique<Impl>());
  struct Job {
    std::vector<uint8_t> bytes;  // the window before the segment, then the segment
    std::size_t prefix = 0;
    std::vector<LzhCode> codes;
    std::exception_ptr failure;
  };
  std::vector<Job> jobs(static_cast<std::size_t>(parsers));
  std::vector<uint8_t> before;  // the last window of bytes read
  const LzhDistanceTree tree = LzhDistanceTree::For(dictionaryBits);
  LzhBlockOutput output;
  output.Reset(sink);
  LzhBlockCutter cutter;
  std::vector<LzhCode> open;  // the codes of the open block, then those of the next piece
  uint64_t read = 0;
  while (read < size) {
    // Read the next segments.
    std::size_t count = 0;
    for (; count < jobs.size() && read < size; ++count) {
      Job& job = jobs[count];
      const std::size_t length = static_cast<std::size_t>(std::min<uint64_t>(segment, size - read));
      job.prefix = before.size();
      job.bytes.assign(before.begin(), before.end());
      job.bytes.resize(job.prefix + length);
      for (std::size_t have = 0; have < length;) {
        const std::size_t got = source(job.bytes.data() + job.prefix + have, length - have);
        if (got == 0) return false;
        have += got;
      }
      read += length;
      const std::size_t keep = std::min(window, job.bytes.size());
      before.assign(job.bytes.end() - static_cast<std::ptrdiff_t>(keep), job.bytes.end());
    }
    // Parse them: the first here, the others on threads of their own (or
    // here as well when no thread can be had).
    // A failure (out of memory) is handed on once every thread is done.
    auto parse = [&](std::size_t k, Impl& parser) {
      Job& job = jobs[k];
      try {
        parser.ParseSegment(job.bytes.data(), job.prefix, job.bytes.size(), dictionaryBits, tuning, job.codes);
      } catch (...) {
        job.failure = std::current_exception();
      }
    };
    std::vector<std::thread> running;
    std::vector<std::size_t> left;
    for (std::size_t k = 1; k < count; ++k) {
      try {
        running.emplace_back(parse, k, std::ref(*helpers_[k - 1]));
      } catch (const std::system_error&) {
        left.push_back(k);
      }
    }
    parse(0, *impl_);
    for (const std::size_t k : left) parse(k, *impl_);
    for (std::thread& t : running) t.join();
    for (std::size_t k = 0; k < count; ++k) {
      if (jobs[k].failure) std::rethrow_exception(jobs[k].failure);
    }
    // Code them in order, in pieces of a chunk's size as the one-piece
    // parse hands its codes on.
    for (std::size_t k = 0; k < count; ++k) {
      const std::vector<LzhCode>& codes = jobs[k].codes;
      const bool lastSegment = read == size && k + 1 == count;
      for (std::size_t at = 0; at < codes.size();) {
        const std::size_t piece = std::min(Impl::kPiece, codes.size() - at);
        open.insert(open.end(), codes.begin() + static_cast<std::ptrdiff_t>(at),
                    codes.begin() + static_cast<std::ptrdiff_t>(at + piece));
        at += piece;
        cutter.Cut(open, lastSegment && at == codes.size(), output.bits(), tree);
        if (!output.DrainIfFull()) return false;
      }
      jobs[k].bytes.clear();
    }
  }
  return output.Finish();
}

}  // namespace lha
