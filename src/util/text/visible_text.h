// Text from outside (names inside archives, option files, server replies,
// file-system names) made safe to show to a person or to write into a
// report: no byte of it can move the cursor, clear a terminal, end a line or
// otherwise act instead of being seen.
//
// Without Qt, so that the archiver libraries, the self-extractor and the
// program share it.
#pragma once

#include <string>
#include <string_view>

namespace visible {

// `text` (UTF-8) with every control character written as a visible escape:
// C0 controls and DEL as "\x1B" (two upper-case hex digits), C1 controls and
// the Unicode line and paragraph separators as "\u0085", and every byte that
// is not part of a valid UTF-8 sequence as "\xFF". Everything else, "\"
// included, stays as it is.
std::string Escape(std::string_view text);

// True when Escape would change nothing.
bool IsPrintable(std::string_view text);

}  // namespace visible
