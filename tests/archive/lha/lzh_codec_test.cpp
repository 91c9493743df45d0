// The LZH encoder and decoder on their own: every kind of data survives a
// round trip for each dictionary size, and damaged packed data ends in a
// status, never in a crash or a read outside the buffers.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "archive/lha/crc16.h"
#include "archive/lha/lzh_block.h"
#include "archive/lha/lzh_codec.h"
#include "archive/lha/lzh_huffman.h"
#include "lha_test_support.h"

namespace {

using lhatest::RandomBytes;
using lhatest::TextBytes;

std::string Decode(int bits, const std::vector<uint8_t>& packed, std::size_t size, lha::DecodeStatus* st) {
  std::string out;
  *st = lha::DecodeLzh(bits, packed.data(), packed.size(), size, [&](const uint8_t* d, std::size_t n) {
    out.append(reinterpret_cast<const char*>(d), n);
    return true;
  });
  return out;
}

struct DataCase {
  const char* name;
  std::string (*make)();
};

std::string OneByte() { return "x"; }
std::string ThreeBytes() { return "abc"; }
std::string Zeros() { return std::string(1 << 20, '\0'); }
std::string Random() { return RandomBytes(300000, 7); }
std::string Text() { return TextBytes(2 << 20, 3); }
// Repeats at distances around each dictionary's limit.
std::string FarRepeats() {
  std::string block = RandomBytes(65535, 11);
  return block + block + RandomBytes(9000, 12) + block.substr(0, 9000) + block;
}
// Only two literal values: trees with very few symbols.
std::string TwoSymbols() {
  std::mt19937 rng(5);
  std::string s(200000, 'a');
  for (char& c : s) c = (rng() & 1) ? 'a' : 'b';
  return s;
}
// Skewed statistics force code lengths that must be limited to 16 bits.
std::string Skewed() {
  std::string s;
  uint32_t f = 1;
  for (int sym = 0; sym < 40; ++sym) {
    s.append(std::min<uint32_t>(f, 1u << 16), static_cast<char>(sym));
    f = f * 2 > (1u << 16) ? (1u << 16) : f * 2;
  }
  std::mt19937 rng(9);
  std::shuffle(s.begin(), s.end(), rng);
  return s;
}
// Long runs of maximal matches broken by single literals.
std::string Runs() {
  std::string s;
  for (int i = 0; i < 5000; ++i) s += std::string(300 + i % 50, static_cast<char>('A' + i % 26)) + static_cast<char>(i);
  return s;
}
// Statistics that change along the input, so that blocks end where they
// change, and sizes around the optimal parse's 128 KiB stretches.
std::string Shifting() {
  return TextBytes(150000, 21) + RandomBytes(70000, 22) + std::string(90000, '\0') + TextBytes(131071, 23);
}
std::string ChunkPlusOne() { return TextBytes(131073, 24); }
// Every position repeats many earlier ones at growing lengths: the match
// finder reports long lists.
std::string ManyLengths() {
  const std::string r = RandomBytes(300, 25);
  std::string s;
  for (int k = 3; s.size() < 400000; k = k % 290 + 3) s += r.substr(0, k) + static_cast<char>('a' + k % 7);
  return s;
}

const DataCase kCases[] = {{"OneByte", OneByte},         {"ThreeBytes", ThreeBytes},     {"Zeros", Zeros},
                           {"Random", Random},           {"Text", Text},                 {"FarRepeats", FarRepeats},
                           {"TwoSymbols", TwoSymbols},   {"Skewed", Skewed},             {"Runs", Runs},
                           {"Shifting", Shifting},       {"ChunkPlusOne", ChunkPlusOne}, {"ManyLengths", ManyLengths}};

class LzhRoundTrip : public ::testing::TestWithParam<std::tuple<int, lha::ParseMode, DataCase>> {};

TEST_P(LzhRoundTrip, DecodesToTheOriginal) {
  const int bits = std::get<0>(GetParam());
  const std::string data = std::get<2>(GetParam()).make();
  lha::EncoderOptions o;
  o.dictionaryBits = bits;
  o.parse = std::get<1>(GetParam());
  const auto packed = lha::EncodeLzh(reinterpret_cast<const uint8_t*>(data.data()), data.size(), o);
  lha::DecodeStatus st;
  const std::string back = Decode(bits, packed, data.size(), &st);
  ASSERT_EQ(st, lha::DecodeStatus::kOk);
  ASSERT_EQ(back.size(), data.size());
  EXPECT_TRUE(back == data);
}

INSTANTIATE_TEST_SUITE_P(AllMethods, LzhRoundTrip,
                         ::testing::Combine(::testing::Values(12, 13, 15, 16),
                                            ::testing::Values(lha::ParseMode::kOptimal, lha::ParseMode::kLazy,
                                                              lha::ParseMode::kFast),
                                            ::testing::ValuesIn(kCases)),
                         [](const auto& test) {
                           const lha::ParseMode parse = std::get<1>(test.param);
                           return std::string(std::get<2>(test.param).name) + "_bits" +
                                  std::to_string(std::get<0>(test.param)) +
                                  (parse == lha::ParseMode::kLazy   ? "_lazy"
                                   : parse == lha::ParseMode::kFast ? "_fast"
                                                                    : "_optimal");
                         });

// One encoder kept for many inputs, as a packing thread keeps it, gives
// each input the bytes a fresh encoder gives it, whatever came before: a
// larger input, another dictionary size, another parse, an input that
// stopped half-way.
TEST(LzhCodec, AKeptEncoderPacksEachInputAsAFreshOneDoes) {
  struct Step {
    std::string data;
    int bits;
    lha::ParseMode parse;
  };
  const std::vector<Step> steps = {
      {TextBytes(300000, 51), 13, lha::ParseMode::kOptimal}, {TextBytes(5000, 52), 13, lha::ParseMode::kOptimal},
      {RandomBytes(70000, 53) + TextBytes(9000, 53), 16, lha::ParseMode::kOptimal},
      {TextBytes(200, 54), 16, lha::ParseMode::kOptimal},     {Runs().substr(0, 150000), 12, lha::ParseMode::kOptimal},
      {TextBytes(140000, 55), 13, lha::ParseMode::kLazy},     {TextBytes(3000, 56), 16, lha::ParseMode::kLazy},
      {TextBytes(3000, 56), 16, lha::ParseMode::kFast},       {TextBytes(260000, 57), 13, lha::ParseMode::kFast},
      {TextBytes(131073, 58), 15, lha::ParseMode::kOptimal},  {"abcabcabc", 13, lha::ParseMode::kOptimal},
      {TextBytes(300000, 51), 13, lha::ParseMode::kOptimal}};
  lha::LzhEncoder kept;
  for (int round = 0; round < 2; ++round) {
    for (std::size_t i = 0; i < steps.size(); ++i) {
      SCOPED_TRACE("round " + std::to_string(round) + ", step " + std::to_string(i));
      const Step& s = steps[i];
      lha::EncoderOptions o;
      o.dictionaryBits = s.bits;
      o.parse = s.parse;
      const auto* bytes = reinterpret_cast<const uint8_t*>(s.data.data());
      EXPECT_EQ(kept.Encode(bytes, s.data.size(), o), lha::EncodeLzh(bytes, s.data.size(), o));
      if (round == 1 && i % 3 == 0) {
        // A sink that refuses half-way leaves the encoder fit for the next input.
        std::size_t taken = 0;
        const lha::ByteSource source = lha::MemorySource{bytes, s.data.size()};
        kept.Encode(source, s.data.size(), o, [&](const uint8_t*, std::size_t n) { return (taken += n) < 20; });
      }
    }
  }
}

// The optimal parse exists to make smaller output: on every kind of
// redundant data it must beat the quick parse for both dictionary sizes.
TEST(LzhCodec, OptimalParseIsSmallerThanTheQuickOne) {
  const std::string mixed = TextBytes(300000, 31) + Runs().substr(0, 100000) + RandomBytes(50000, 32) +
                            TextBytes(300000, 33);
  for (const std::string& data : {TextBytes(1 << 20, 30), mixed, Skewed()}) {
    for (int bits : {13, 16}) {
      SCOPED_TRACE(bits);
      lha::EncoderOptions o;
      o.dictionaryBits = bits;
      const auto optimal = lha::EncodeLzh(reinterpret_cast<const uint8_t*>(data.data()), data.size(), o);
      o.parse = lha::ParseMode::kLazy;
      const auto lazy = lha::EncodeLzh(reinterpret_cast<const uint8_t*>(data.data()), data.size(), o);
      EXPECT_LT(optimal.size() * 100, lazy.size() * 99) << optimal.size() << " vs " << lazy.size();
    }
  }
}

// Where blocks end is decided on the bits a block would take: that count
// must be the bits the writer then writes, for any mix of codes.
TEST(LzhCodec, BlockSizeEstimateIsTheWrittenSize) {
  std::mt19937 rng(17);
  for (int round = 0; round < 60; ++round) {
    const int bits = round % 2 ? 16 : 13;
    const lha::LzhDistanceTree tree = lha::LzhDistanceTree::For(bits);
    std::vector<lha::LzhCode> codes(1 + rng() % (round < 30 ? 50 : 20000));
    const int literals = 1 + static_cast<int>(rng() % 256);
    for (auto& c : codes) {
      if (rng() % 3) {
        c = {static_cast<uint16_t>(rng() % literals), 0};
      } else {
        const uint32_t length = 3 + rng() % (round % 3 ? 20 : 254);
        c = {static_cast<uint16_t>(256 + length - 3), static_cast<uint16_t>(rng() % ((1u << bits) - 1))};
      }
    }
    lha::LzhFrequencies freq;
    for (const auto& c : codes) freq.Add(c);
    std::vector<uint8_t> out;
    lha::BitWriter writer(out);
    lha::WriteLzhBlock(writer, codes.data(), codes.size(), tree);
    writer.Flush();
    EXPECT_EQ(out.size(), (lha::LzhBlockBits(freq, tree) + 7) / 8) << "round " << round;
  }
}

TEST(LzhCodec, CompressesRedundantDataAndLh7BeatsLh5OnFarRepeats) {
  const std::string text = TextBytes(1 << 20, 1);
  lha::EncoderOptions o5, o7;
  o7.dictionaryBits = 16;
  const auto p5 = lha::EncodeLzh(reinterpret_cast<const uint8_t*>(text.data()), text.size(), o5);
  EXPECT_LT(p5.size(), text.size() / 3);
  const std::string far = FarRepeats();
  const auto f5 = lha::EncodeLzh(reinterpret_cast<const uint8_t*>(far.data()), far.size(), o5);
  const auto f7 = lha::EncodeLzh(reinterpret_cast<const uint8_t*>(far.data()), far.size(), o7);
  // The second copy of the 64 KiB block lies beyond -lh5-'s 8 KiB reach
  // but within -lh7-'s.
  EXPECT_LT(f7.size() + 60000, f5.size());
}

TEST(LzhCodec, Crc16IsTheArcVariant) {
  EXPECT_EQ(lha::Crc16("123456789", 9), 0xBB3D);
  // Split input gives the same result as one call (the eight-byte path and
  // the byte path agree).
  const std::string s = RandomBytes(1001, 3);
  uint16_t part = lha::Crc16(s.data(), 13);
  part = lha::Crc16(s.data() + 13, s.size() - 13, part);
  EXPECT_EQ(part, lha::Crc16(s.data(), s.size()));
}

TEST(LzhCodec, CodeLengthsStayWithinSixteenBitsAndFormCompleteCodes) {
  uint32_t freq[60];
  uint32_t f = 1;
  for (int i = 0; i < 60; ++i) {
    freq[i] = f;
    if (f < (1u << 30)) f *= 2;  // Fibonacci-like growth makes deep trees
  }
  uint8_t len[60];
  ASSERT_EQ(lha::BuildCodeLengths(freq, 60, 16, len), -1);
  uint16_t codes[60];
  for (int i = 0; i < 60; ++i) EXPECT_LE(len[i], 16);
  EXPECT_TRUE(lha::BuildCanonicalCodes(len, 60, codes));
  // A single used symbol has no code bits.
  uint32_t one[5] = {0, 0, 7, 0, 0};
  EXPECT_EQ(lha::BuildCodeLengths(one, 5, 16, len), 2);
}

TEST(LzhCodec, DamagedDataEndsInAStatus) {
  const std::string data = TextBytes(200000, 4);
  for (int bits : {13, 16}) {
    lha::EncoderOptions o;
    o.dictionaryBits = bits;
    const auto packed = lha::EncodeLzh(reinterpret_cast<const uint8_t*>(data.data()), data.size(), o);
    std::mt19937 rng(bits);
    int failures = 0;
    for (int round = 0; round < 300; ++round) {
      auto bad = packed;
      const int flips = 1 + round % 4;
      for (int k = 0; k < flips; ++k) bad[rng() % std::min<std::size_t>(bad.size(), 400)] ^= 1 << (rng() % 8);
      lha::DecodeStatus st;
      const std::string out = Decode(bits, bad, data.size(), &st);
      if (st != lha::DecodeStatus::kOk || out != data) ++failures;
      EXPECT_LE(out.size(), data.size());
    }
    EXPECT_GT(failures, 250);
    // Truncated data and garbage.
    for (std::size_t cut : {std::size_t{0}, std::size_t{1}, std::size_t{5}, packed.size() / 2}) {
      lha::DecodeStatus st;
      std::vector<uint8_t> part(packed.begin(), packed.begin() + cut);
      const std::string out = Decode(bits, part, data.size(), &st);
      EXPECT_TRUE(st != lha::DecodeStatus::kOk || out != data);
    }
    const std::string junk = RandomBytes(5000, 99);
    lha::DecodeStatus st;
    Decode(bits, std::vector<uint8_t>(junk.begin(), junk.end()), 1 << 20, &st);
  }
}

TEST(LzhCodec, SinkFailureStopsDecoding) {
  const std::string data = TextBytes(1 << 20, 8);
  lha::EncoderOptions o;
  const auto packed = lha::EncodeLzh(reinterpret_cast<const uint8_t*>(data.data()), data.size(), o);
  int calls = 0;
  const auto st = lha::DecodeLzh(13, packed.data(), packed.size(), data.size(), [&](const uint8_t*, std::size_t) {
    ++calls;
    return false;
  });
  EXPECT_EQ(st, lha::DecodeStatus::kSinkFailed);
  EXPECT_EQ(calls, 1);
}

}  // namespace

namespace {

// Packing and unpacking in pieces, as files are read and written: the same
// packed bytes as from memory whatever the pieces' sizes, and a source that
// ends early or a sink that refuses ends the work with false.
TEST(LzhCodec, StreamingInPiecesGivesTheSameBytesAndStopsOnShortInput) {
  const std::string data = TextBytes(3 << 19, 41) + RandomBytes(100000, 42) + TextBytes(1 << 19, 43);
  for (const int bits : {13, 16, -13}) {
    SCOPED_TRACE(bits);
    lha::EncoderOptions options;
    options.dictionaryBits = std::abs(bits);
    if (bits < 0) options.parse = lha::ParseMode::kLazy;
    const std::vector<uint8_t> whole =
        lha::EncodeLzh(reinterpret_cast<const uint8_t*>(data.data()), data.size(), options);
    std::size_t at = 0, piece = 0;
    const lha::ByteSource source = [&](uint8_t* buf, std::size_t n) {
      // Odd piece sizes, some tiny.
      const std::size_t k = std::min({n, data.size() - at, std::size_t{1} + (piece++ * 7919) % 70001});
      std::memcpy(buf, data.data() + at, k);
      at += k;
      return k;
    };
    std::vector<uint8_t> streamed;
    std::size_t sinkCalls = 0;
    ASSERT_TRUE(lha::EncodeLzh(source, data.size(), options, [&](const uint8_t* d, std::size_t n) {
      streamed.insert(streamed.end(), d, d + n);
      ++sinkCalls;
      return true;
    }));
    EXPECT_EQ(streamed, whole);
    EXPECT_GT(sinkCalls, 1u);  // handed on as it goes, not at the end

    std::size_t from = 0;
    std::string back;
    const lha::ByteSource packedSource = [&](uint8_t* buf, std::size_t n) {
      const std::size_t k = std::min({n, streamed.size() - from, std::size_t{333}});
      std::memcpy(buf, streamed.data() + from, k);
      from += k;
      return k;
    };
    EXPECT_EQ(lha::DecodeLzh(options.dictionaryBits, packedSource, data.size(),
                             [&](const uint8_t* d, std::size_t n) {
                               back.append(reinterpret_cast<const char*>(d), n);
                               return true;
                             }),
              lha::DecodeStatus::kOk);
    EXPECT_TRUE(back == data);

    at = 0;
    const lha::ByteSource shortSource = [&](uint8_t* buf, std::size_t n) {
      const std::size_t k = std::min(n, data.size() / 2 - at);
      std::memcpy(buf, data.data() + at, k);
      at += k;
      return k;
    };
    EXPECT_FALSE(lha::EncodeLzh(shortSource, data.size(), options, [](const uint8_t*, std::size_t) { return true; }));
    at = 0;
    EXPECT_FALSE(lha::EncodeLzh(source, data.size(), options, [](const uint8_t*, std::size_t) { return false; }));
  }
}

}  // namespace
