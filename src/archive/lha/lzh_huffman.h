// Huffman code lengths and canonical codes shared by the LZH encoder and
// decoder. Codes of one length are numbered in symbol order, shorter codes
// first, and no code is longer than 16 bits.
#pragma once

#include <cstdint>

namespace lha {

constexpr int kMaxCodeBits = 16;

// Code lengths for `n` symbols with the given frequencies, none longer than
// `maxBits`. With fewer than two used symbols every length is 0 (the
// format sends such a tree as its single symbol) and the result is that
// symbol (or 0); otherwise the result is -1.
int BuildCodeLengths(const uint32_t* freq, int n, int maxBits, uint8_t* lengths);

// Canonical codes for the lengths. Returns false when the lengths do not
// form a complete prefix code.
bool BuildCanonicalCodes(const uint8_t* lengths, int n, uint16_t* codes);

}  // namespace lha
