// -lzs-, -lz5- and -lh1-: data packed by the encoders below (plain greedy
// searches written for the test) is read back by ours and by lhasa, which
// must both give the original bytes. The data holds runs and ascending byte
// sequences, so that matches into -lz5-'s preset window are used too.
#include <gtest/gtest.h>

#include "archive/lha/early_methods.h"
#include "lha_craft.h"
#include "lha_test_support.h"

namespace {

using namespace lhatest;

class BitWriter {
 public:
  void Put(unsigned value, int count) {
    while (count-- > 0) {
      cur_ = static_cast<uint8_t>((cur_ << 1) | ((value >> count) & 1u));
      if (++n_ == 8) {
        out += static_cast<char>(cur_);
        n_ = 0;
        cur_ = 0;
      }
    }
  }
  std::string Finish() {
    if (n_ > 0) out += static_cast<char>(cur_ << (8 - n_));
    n_ = 0;
    return out;
  }
  std::string out;

 private:
  uint8_t cur_ = 0;
  int n_ = 0;
};

// A ring-window LZSS encoder as the LArc methods use it: matches name an
// absolute window position. Each candidate is tried by copying as the
// decoder will, so overlapping copies come out right.
struct RingMatch {
  unsigned pos = 0, len = 0;
};
RingMatch FindInRing(const std::vector<uint8_t>& ring, unsigned r, const std::string& data, std::size_t at,
                     unsigned minLen, unsigned maxLen) {
  RingMatch best;
  const unsigned size = static_cast<unsigned>(ring.size());
  for (unsigned pos = 0; pos < size; ++pos) {
    std::vector<uint8_t> w = ring;
    unsigned rr = r, len = 0;
    while (len < maxLen && at + len < data.size()) {
      const uint8_t c = w[(pos + len) % size];
      if (c != static_cast<uint8_t>(data[at + len])) break;
      w[rr] = c;
      rr = (rr + 1) % size;
      ++len;
    }
    if (len >= minLen && len > best.len) best = {pos, len};
    if (best.len == maxLen) break;
  }
  return best;
}

void Advance(std::vector<uint8_t>& ring, unsigned& r, const std::string& data, std::size_t at, unsigned len) {
  for (unsigned i = 0; i < len; ++i) {
    ring[r] = static_cast<uint8_t>(data[at + i]);
    r = (r + 1) % ring.size();
  }
}

std::string EncodeLzs(const std::string& data) {
  std::vector<uint8_t> ring(2048, ' ');
  unsigned r = 2048 - 17;
  BitWriter bw;
  for (std::size_t at = 0; at < data.size();) {
    RingMatch m = FindInRing(ring, r, data, at, 2, 17);
    // Copy first, as the decoder does, then move on.
    if (m.len >= 2) {
      bw.Put(0, 1);
      bw.Put(m.pos, 11);
      bw.Put(m.len - 2, 4);
      std::vector<uint8_t> w = ring;
      for (unsigned i = 0; i < m.len; ++i) {
        ring[r] = w[(m.pos + i) % 2048] = ring[(m.pos + i) % 2048];
        r = (r + 1) % 2048;
      }
      at += m.len;
    } else {
      bw.Put(1, 1);
      bw.Put(static_cast<uint8_t>(data[at]), 8);
      Advance(ring, r, data, at, 1);
      ++at;
    }
  }
  return bw.Finish();
}

std::string EncodeLz5(const std::string& data) {
  std::vector<uint8_t> ring(4096, 0);
  unsigned p = 0;
  for (unsigned v = 0; v < 256; ++v) {
    for (int k = 0; k < 13; ++k) ring[p++] = static_cast<uint8_t>(v);
  }
  for (unsigned v = 0; v < 256; ++v) ring[p++] = static_cast<uint8_t>(v);
  for (unsigned v = 0; v < 256; ++v) ring[p++] = static_cast<uint8_t>(255 - v);
  p += 128;
  while (p < 4096 - 18) ring[p++] = ' ';
  unsigned r = 4096 - 18;
  std::string out;
  for (std::size_t at = 0; at < data.size();) {
    const std::size_t flagAt = out.size();
    out += '\0';
    uint8_t flags = 0;
    for (int item = 0; item < 8 && at < data.size(); ++item) {
      const RingMatch m = FindInRing(ring, r, data, at, 3, 18);
      if (m.len >= 3) {
        out += static_cast<char>(m.pos & 0xFF);
        out += static_cast<char>(((m.pos >> 4) & 0xF0) | (m.len - 3));
        for (unsigned i = 0; i < m.len; ++i) {
          ring[r] = ring[(m.pos + i) % 4096];
          r = (r + 1) % 4096;
        }
        at += m.len;
      } else {
        flags = static_cast<uint8_t>(flags | (1u << item));
        out += data[at];
        Advance(ring, r, data, at, 1);
        ++at;
      }
    }
    out[flagAt] = static_cast<char>(flags);
  }
  return out;
}

std::string EncodeLh1(const std::string& data) {
  lha::AdaptiveCode code;
  BitWriter bw;
  auto putSymbol = [&](int symbol) {
    std::vector<int> path;
    for (int k = code.parent[symbol + lha::AdaptiveCode::kTree]; k != lha::AdaptiveCode::kRoot; k = code.parent[k]) {
      path.push_back(k & 1);
    }
    for (auto it = path.rbegin(); it != path.rend(); ++it) bw.Put(static_cast<unsigned>(*it), 1);
    code.Update(symbol);
  };
  for (std::size_t at = 0; at < data.size();) {
    std::size_t bestLen = 0, bestDist = 0;
    for (std::size_t d = 1; d <= 4096 && d <= at; ++d) {
      std::size_t len = 0;
      while (len < 60 && at + len < data.size() && data[at + len] == data[at - d + len]) ++len;
      if (len > bestLen) {
        bestLen = len;
        bestDist = d;
      }
    }
    if (bestLen >= 3) {
      putSymbol(static_cast<int>(bestLen) + 253);
      const unsigned v = static_cast<unsigned>(bestDist - 1);
      const int len = lha::kUpperLength[v >> 6];
      bw.Put(lha::UpperCode(static_cast<int>(v >> 6)) >> (8 - len), len);
      bw.Put(v & 0x3F, 6);
      at += bestLen;
    } else {
      putSymbol(static_cast<uint8_t>(data[at]));
      ++at;
    }
  }
  return bw.Finish();
}

std::string Sample(std::size_t n) {
  std::string s = "AAAAAAAAAAAAAAAAAAAA" "abcdefghijklmnop" "\x05\x04\x03\x02\x01" "          end\n";
  s += std::string(40, '\0');
  s += TextBytes(n, 7);
  s += RandomBytes(300 + n / 2, 3);
  s += TextBytes(n / 2, 8);
  return s;
}

TEST(LhaEarlyMethods, DataPackedByEachMethodReadsBackWithOursAndLhasa) {
  ASSERT_TRUE(HaveTool("lhasa")) << "lhasa is needed as the reference reader (bash scripts/install-deps.sh)";
  struct Case {
    const char* method;
    std::string (*encode)(const std::string&);
    std::size_t size;
  } cases[] = {
      {"-lzs-", EncodeLzs, 1500},
      {"-lz5-", EncodeLz5, 1500},
      // Over 32,768 symbols: the adaptive code halves its counts and rebuilds.
      {"-lh1-", EncodeLh1, 70000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    TempDir t;
    const std::string data = Sample(c.size);
    CraftMember m{"member.bin", data, 1};
    m.method = c.method;
    m.packed = c.encode(data);
    ASSERT_LT(m.packed.size(), data.size());
    WriteFile(t.Path("e.lzh"), CraftArchive({m, {"after.txt", "after", 1}}));
    const auto r = RunCmd("x " + t.Path("e.lzh") + " " + t.Path("ours") + "/");
    EXPECT_EQ(r.code, 0) << r.output;
    EXPECT_EQ(Digest(ReadFile(t.Path("ours/member.bin"))), Digest(data));
    EXPECT_EQ(ReadFile(t.Path("ours/after.txt")), "after");
    fs::create_directories(t.Path("lhasa"));
    const auto x = Shell("cd " + Quote(t.Path("lhasa")) + " && lhasa xq " + Quote(t.Path("e.lzh")));
    EXPECT_EQ(Digest(ReadFile(t.Path("lhasa/member.bin"))), Digest(data)) << x.out;
    // A cut stream is an error, never a short file reported as whole.
    m.packed.resize(m.packed.size() / 2);
    WriteFile(t.Path("cut.lzh"), CraftArchive({m}));
    EXPECT_NE(RunCmd("t " + t.Path("cut.lzh")).code, 0);
  }
}

}  // namespace
