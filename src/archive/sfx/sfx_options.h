// The self-extractor's option file "$" (code page 932, CR LF lines):
// $WindowTitle=, $InstallDir=, $InstallTitle=, $Command=.
#pragma once

#include <string>

namespace sfx {

struct Options {
  std::string windowTitle;   // UTF-8; empty when the file has none
  std::string installDir;
  std::string installTitle;
  std::string command;       // document to open after extraction, relative to the install directory
};

// Reads the option lines from the file's bytes. Unknown lines are ignored;
// a text that is not code page 932 is taken as UTF-8 when it is valid.
Options ParseOptions(const std::string& cp932Text);

// The same from the text already in UTF-8 (no code page 932 table needed).
Options ParseOptionLines(const std::string& utf8Text);

// The label without its keyboard accelerator: "ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ(&D)" -> "ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ".
std::string WithoutAccelerator(const std::string& label);

}  // namespace sfx
