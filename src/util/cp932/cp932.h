// Conversion between UTF-8 and Shift-JIS (code page 932) through iconv.
//
// Every text file the program writes or reads, and every member name inside
// the archives, is in code page 932. The conversion is strict: a character
// that code page 932 cannot hold is an error reported to the caller, never a
// silent "?". This module has no Qt dependency so that the archiver libraries
// can use it too.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace cp932 {

// Converts UTF-8 text to code page 932 bytes. On failure returns false and,
// when badOffset is given, stores the byte offset in `utf8` of the first
// character that could not be converted.
bool FromUtf8(std::string_view utf8, std::string& out, std::size_t* badOffset = nullptr);

// Converts code page 932 bytes to UTF-8. On failure (a byte sequence that is
// not valid code page 932) returns false with the offset of the bad byte.
bool ToUtf8(std::string_view sjis, std::string& out, std::size_t* badOffset = nullptr);

// Lenient decoding for display: invalid sequences become U+FFFD.
std::string ToUtf8Lossy(std::string_view sjis);

// Decoding that keeps what it cannot read: each byte that starts no
// character becomes U+F700 + byte (U+F700..U+F7FF, private use, never made
// by code page 932 itself), which FromUtf8KeepingBytes turns back into the
// same byte. A file read this way and written back unchanged keeps its bytes.
constexpr unsigned kKeptByteBase = 0xF700;
std::string ToUtf8KeepingBytes(std::string_view sjis);
// FromUtf8, with U+F700..U+F7FF written as the single byte they stand for.
bool FromUtf8KeepingBytes(std::string_view utf8, std::string& out, std::size_t* badOffset = nullptr);

// True when every character of `utf8` can be written in code page 932.
bool CanEncode(std::string_view utf8);

}  // namespace cp932
