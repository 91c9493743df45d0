#include "switches.h"

namespace sfxw {
namespace {

wchar_t Lower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool SameNoCase(const std::wstring& a, const wchar_t* b) {
  std::size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return i == a.size() && !b[i];
}

bool HasPrefixNoCase(const std::wstring& a, const wchar_t* prefix) {
  for (std::size_t i = 0; prefix[i]; ++i) {
    if (i >= a.size() || Lower(a[i]) != Lower(prefix[i])) return false;
  }
  return true;
}

// A word that is one of the switches: it is never taken as the value of
// the switch before it ("--dir --yes" has no folder).
bool IsSwitch(const std::wstring& a) {
  return a.compare(0, 2, L"--") == 0 || SameNoCase(a, L"/S") || SameNoCase(a, L"/?") || a == L"-y" || a == L"-h" ||
         HasPrefixNoCase(a, L"/D=") || HasPrefixNoCase(a, L"/O=");
}

bool ParseMode(const std::wstring& v, OverwriteMode& mode) {
  if (SameNoCase(v, L"all")) {
    mode = OverwriteMode::kAll;
  } else if (SameNoCase(v, L"none")) {
    mode = OverwriteMode::kNone;
  } else if (SameNoCase(v, L"newer")) {
    mode = OverwriteMode::kNewer;
  } else {
    return false;
  }
  return true;
}

}  // namespace

const wchar_t kUsage[] =
    L"使い方: 自己解凍ファイル [/S] [/O=all|none|newer] [/D=展開先]\n"
    L"        自己解凍ファイル [--dir 展開先] [--yes] [--no-open] [--overwrite all|none|newer]\n"
    L"  /S          確認せずに展開する (文書は開かない)\n"
    L"  /D=展開先   展開先フォルダ (最後に指定し、空白を含んでもよい)\n"
    L"  /O=方法     既にあるファイルを all: 上書きする (既定) / none: 残す / newer: 古いものだけ上書きする\n"
    L"  --dir 展開先  展開先フォルダ\n"
    L"  --yes       確認せずに展開する\n"
    L"  --no-open   展開後に文書を開かない\n"
    L"  --overwrite 方法  /O= と同じ";

Switches ParseSwitches(const std::vector<std::wstring>& args) {
  Switches s;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::wstring& a = args[i];
    bool ok = true;
    if (SameNoCase(a, L"/S")) {
      s.unattended = true;
      s.open = false;
    } else if (HasPrefixNoCase(a, L"/D=")) {
      // As installers have it: the folder is the rest of the line, blanks and all.
      s.folder = a.substr(3);
      for (++i; i < args.size(); ++i) s.folder += L" " + args[i];
      s.haveFolder = true;
      ok = s.folder.find_first_not_of(L" \t") != std::wstring::npos;
    } else if (HasPrefixNoCase(a, L"/O=")) {
      ok = ParseMode(a.substr(3), s.overwrite);
    } else if (a == L"--dir" || a == L"--overwrite") {
      // The value is the next word, unless that is a switch itself.
      ok = i + 1 < args.size() && !IsSwitch(args[i + 1]);
      if (ok && a == L"--dir") {
        s.folder = args[++i];
        s.haveFolder = true;
        ok = s.folder.find_first_not_of(L" \t") != std::wstring::npos;
      } else if (ok) {
        ok = ParseMode(args[++i], s.overwrite);
      }
    } else if (a.compare(0, 6, L"--dir=") == 0) {
      s.folder = a.substr(6);
      s.haveFolder = true;
      ok = s.folder.find_first_not_of(L" \t") != std::wstring::npos;
    } else if (a.compare(0, 12, L"--overwrite=") == 0) {
      ok = ParseMode(a.substr(12), s.overwrite);
    } else if (a == L"--yes" || a == L"-y") {
      s.unattended = true;
    } else if (a == L"--no-open") {
      s.open = false;
    } else if (a == L"--help" || a == L"-h" || a == L"/?") {
      s.help = true;
    } else {
      ok = false;
    }
    // The first fault is reported; the rest is still read, so that "/S"
    // after it keeps the report off the screen.
    if (!ok && s.error.empty()) s.error = a;
  }
  // Without questions an existing file is replaced, as before.
  if (s.unattended && s.overwrite == OverwriteMode::kAsk) s.overwrite = OverwriteMode::kAll;
  return s;
}

}  // namespace sfxw
