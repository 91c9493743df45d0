#include "corpus_sjis.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <unordered_map>

#include "util/cp932/cp932.h"

namespace fs = std::filesystem;

namespace lhabench {

namespace {

std::string Slurp(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

std::size_t Utf8Length(unsigned char c) { return c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2; }

// The lines of the project's texts that hold a non-ASCII character, in a
// fixed order.
std::string JapaneseLines() {
  std::vector<fs::path> files{LM_SOURCE_DIR "/README.md"};
  for (const char* root : {LM_SOURCE_DIR "/docs", LM_SOURCE_DIR "/src"}) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      const auto ext = it->path().extension();
      if (it->is_regular_file() && (ext == ".md" || ext == ".cpp" || ext == ".h")) files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  std::string out;
  for (const auto& f : files) {
    const std::string text = Slurp(f);
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      const auto first = text.begin() + static_cast<std::ptrdiff_t>(start);
      const auto last = text.begin() + static_cast<std::ptrdiff_t>(end);
      if (std::any_of(first, last, [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
        out.append(first, last);
        out += '\n';
      }
      start = end + 1;
    }
  }
  return out;
}

}  // namespace

JapaneseText::JapaneseText() {
  const std::string source = JapaneseLines();
  // Tokens: runs of one character class (letters and digits, Japanese),
  // each other ASCII character alone; long Japanese runs are cut after
  // four characters so the chain can recombine them.
  std::vector<std::string> words;
  std::string cur;
  int curClass = 0;
  auto classOf = [](unsigned char c) { return c < 0x80 ? (std::isalnum(c) ? 1 : 2) : 3; };
  for (std::size_t i = 0; i < source.size();) {
    const unsigned char c = static_cast<unsigned char>(source[i]);
    const std::size_t len = std::min(Utf8Length(c), source.size() - i);
    const int k = classOf(c);
    if (k != curClass || k == 2 || cur.size() >= 12) {
      if (!cur.empty()) words.push_back(cur);
      cur.clear();
      curClass = k;
    }
    cur.append(source, i, len);
    i += len;
  }
  if (!cur.empty()) words.push_back(cur);

  std::unordered_map<std::string, std::uint32_t> ids;
  std::vector<std::uint32_t> sequence;
  for (const std::string& w : words) {
    std::string sjis;
    if (!cp932::FromUtf8(w, sjis) || sjis.empty()) continue;  // characters code page 932 lacks
    const auto [it, added] = ids.emplace(sjis, static_cast<std::uint32_t>(tokens_.size()));
    if (added) {
      tokens_.push_back(sjis);
      japanese_.push_back(static_cast<unsigned char>(sjis[0]) >= 0x80);
      if (japanese_.back()) japaneseTokens_.push_back(it->second);
    }
    sequence.push_back(it->second);
  }
  if (japaneseTokens_.size() < 200) {
    throw std::runtime_error("too little Japanese text in " LM_SOURCE_DIR
                             " (README.md, docs, src) to build prose from");
  }
  next_.resize(tokens_.size());
  for (std::size_t i = 0; i + 1 < sequence.size(); ++i) next_[sequence[i]].push_back(sequence[i + 1]);
}

std::uint32_t JapaneseText::Follow(std::uint32_t token, std::mt19937& rng) const {
  const auto& n = next_[token];
  if (n.empty() || rng() % 20 == 0) return static_cast<std::uint32_t>(rng() % tokens_.size());
  return n[rng() % n.size()];
}

std::string JapaneseText::Prose(std::size_t size, unsigned seed) const {
  std::mt19937 rng(seed);
  std::string out;
  std::uint32_t at = static_cast<std::uint32_t>(rng() % tokens_.size());
  while (out.size() < size) {
    const std::string& t = tokens_[at];
    if (t == "\n") {
      out += "\r\n";
    } else {
      out += t;
    }
    at = Follow(at, rng);
  }
  return out;
}

std::string JapaneseText::Sentence(std::mt19937& rng) const {
  std::string s;
  std::uint32_t at = japaneseTokens_[rng() % japaneseTokens_.size()];
  const std::size_t want = 3 + rng() % 12;
  for (std::size_t n = 0; n < want;) {
    if (japanese_[at]) {
      s += tokens_[at];
      ++n;
    }
    at = Follow(at, rng);
  }
  static const std::string stop = [] {
    std::string x;
    cp932::FromUtf8("。", x);
    return x;
  }();
  if (s.size() < stop.size() || s.compare(s.size() - stop.size(), stop.size(), stop) != 0) s += stop;
  return s;
}

std::string JapaneseText::Script(std::size_t size, unsigned seed, int pictures, int sounds) const {
  static const std::vector<std::string> speakers = [] {
    std::vector<std::string> v;
    for (const char* name : {"【桜】", "【葵】", "【悠真】", "【先生】", "【店主】", "【？？？】"}) {
      std::string sjis;
      cp932::FromUtf8(name, sjis);
      v.push_back(sjis);
    }
    return v;
  }();
  static const std::string open = [] {
    std::string x;
    cp932::FromUtf8("「", x);
    return x;
  }();
  static const std::string close = [] {
    std::string x;
    cp932::FromUtf8("」", x);
    return x;
  }();
  auto two = [](unsigned n) { return std::string(1, static_cast<char>('0' + n / 10 % 10)) + char('0' + n % 10); };
  std::mt19937 rng(seed);
  std::string out = "; scene " + std::to_string(seed) + "\r\n";
  int label = 0;
  while (out.size() < size) {
    out += "*s" + std::to_string(seed) + "_" + two(static_cast<unsigned>(++label)) + "\r\n";
    out += "@bg storage=\"bg_" + two(rng() % static_cast<unsigned>(pictures)) +
           ".bmp\" time=" + std::to_string(200 * (1 + rng() % 5)) + "\r\n";
    const int lines = 4 + static_cast<int>(rng() % 10);
    for (int i = 0; i < lines; ++i) {
      switch (rng() % 8) {
        case 0:
          out += "@playse storage=\"se_" + two(rng() % static_cast<unsigned>(sounds)) + ".wav\"\r\n";
          break;
        case 1:
          out += "@chara storage=\"ch_" + two(rng() % static_cast<unsigned>(pictures)) +
                 ".bmp\" pos=" + (rng() % 2 ? "left" : "right") + " face=" + std::to_string(rng() % 6) + "\r\n";
          break;
        case 2:
        case 3:
          out += Sentence(rng) + "\r\n";  // narration
          break;
        default:
          out += speakers[rng() % speakers.size()] + open + Sentence(rng) + close + "\r\n";
          if (rng() % 3 == 0) out += "@wait time=" + std::to_string(100 * (1 + rng() % 9)) + "\r\n";
      }
    }
    out += "@jump target=*s" + std::to_string(seed) + "_" + two(static_cast<unsigned>(label + 1)) + "\r\n\r\n";
  }
  return out;
}

}  // namespace lhabench
