#include "archive/sfx/sfx_options.h"

#include <string_view>

namespace sfx {

Options ParseOptionLines(const std::string& text) {
  Options o;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    pos = end + 1;
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq);
    const std::string value = line.substr(eq + 1);
    if (key == "$WindowTitle") o.windowTitle = value;
    else if (key == "$InstallDir") o.installDir = value;
    else if (key == "$InstallTitle") o.installTitle = value;
    else if (key == "$Command") o.command = value;
  }
  return o;
}

std::string WithoutAccelerator(const std::string& label) {
  std::string s = label;
  const std::size_t open = s.find("(&");
  if (open != std::string::npos) {
    const std::size_t close = s.find(')', open);
    if (close != std::string::npos) s.erase(open, close - open + 1);
  }
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '&' && i + 1 < s.size() && s[i + 1] != '&') continue;
    out.push_back(s[i]);
  }
  return out;
}

}  // namespace sfx
