// Japanese text in Shift-JIS for the benchmark corpora. A word-level Markov
// chain over the project's own Japanese texts gives real vocabulary and
// repetition without copying any one file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace lhabench {

class JapaneseText {
 public:
  // Builds the chain from the lines holding Japanese in the project's README,
  // documents and sources. Throws std::runtime_error when there are too few.
  JapaneseText();

  // About `size` bytes of prose (code page 932, CRLF line ends): the chain's
  // tokens as they come, Japanese mixed with the ASCII around it.
  std::string Prose(std::size_t size, unsigned seed) const;

  // About `size` bytes of a game script (code page 932, CRLF): labels,
  // commands naming pictures "bg_NN.bmp"/"ch_NN.bmp" (NN below `pictures`)
  // and sounds "se_NN.wav" (below `sounds`), dialogue and narration.
  std::string Script(std::size_t size, unsigned seed, int pictures, int sounds) const;

 private:
  // A sentence of Japanese tokens only, ending in a full stop.
  std::string Sentence(std::mt19937& rng) const;
  std::uint32_t Follow(std::uint32_t token, std::mt19937& rng) const;

  std::vector<std::string> tokens_;  // code page 932
  std::vector<bool> japanese_;       // the token is a run of non-ASCII characters
  std::vector<std::vector<std::uint32_t>> next_;
  std::vector<std::uint32_t> japaneseTokens_;
};

}  // namespace lhabench
