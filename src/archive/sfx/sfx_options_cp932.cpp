// The option file's bytes as the Linux tools read them: code page 932
// through the project's own table. The Windows self-extractor converts with
// the system's code page 932 instead and parses the same lines.
#include "archive/sfx/sfx_options.h"

#include "util/cp932/cp932.h"

namespace sfx {

Options ParseOptions(const std::string& cp932Text) {
  std::string text;
  if (!cp932::ToUtf8(cp932Text, text)) text = cp932::ToUtf8Lossy(cp932Text);
  return ParseOptionLines(text);
}

}  // namespace sfx
