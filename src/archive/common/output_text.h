// The output text of an archiver library's command function.
#pragma once

#include <cstdint>
#include <string>

namespace arc {

// Copies `text` (code page 932) into the caller's buffer, NUL-terminated
// and cut at the buffer's size without splitting a double-byte character.
// Nothing is written when the buffer is missing or has no room.
void FillOutput(const std::string& text, char* output, uint32_t size);

// UTF-8 to code page 932 for texts that are only shown (output texts,
// listings): a character code page 932 cannot hold becomes "?".
std::string DisplayCp932(const std::string& utf8);

}  // namespace arc
