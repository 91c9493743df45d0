#include "install_flow.h"

#include <shellapi.h>

#include "document_open.h"
#include "extract_run.h"
#include "member_paths.h"
#include "win_text.h"

namespace sfxw {
namespace {

std::wstring Trimmed(const std::wstring& s) {
  const std::size_t b = s.find_first_not_of(L" \t\u3000");
  if (b == std::wstring::npos) return {};
  const std::size_t e = s.find_last_not_of(L" \t\u3000");
  return s.substr(b, e - b + 1);
}

}  // namespace

std::wstring WindowTitleOf(const SelfArchive& archive) {
  const std::wstring title = Trimmed(archive.windowTitle());
  if (!title.empty()) return title;
  std::wstring name = archive.exePath();
  const std::size_t slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name.erase(0, slash + 1);
  if (name.size() > 4 && CompareStringOrdinal(name.c_str() + name.size() - 4, 4, L".exe", 4, TRUE) == CSTR_EQUAL) {
    name.resize(name.size() - 4);
  }
  return name;
}

std::wstring AbsoluteFolder(const std::wstring& typed, const std::wstring& base) {
  std::wstring t = Trimmed(typed);
  if (t.size() >= 2 && t.front() == L'"' && t.back() == L'"') t = t.substr(1, t.size() - 2);
  if (t.empty()) return {};
  // Both calls say how much room the result needs; the buffers are sized
  // from that, so a folder of any length fits.
  DWORD n = ExpandEnvironmentStringsW(t.c_str(), nullptr, 0);
  std::wstring buf(n, L'\0');
  if (n > 0 && (n = ExpandEnvironmentStringsW(t.c_str(), buf.data(), n)) > 0 && n <= buf.size()) t = buf.c_str();
  const bool absolute = (t.size() >= 2 && t[1] == L':') || (t.size() >= 2 && t[0] == L'\\' && t[1] == L'\\');
  if (!absolute && !base.empty()) t = base + L"\\" + t;
  n = GetFullPathNameW(t.c_str(), 0, nullptr, nullptr);
  buf.assign(n, L'\0');
  if (n > 0 && (n = GetFullPathNameW(t.c_str(), n, buf.data(), nullptr)) > 0 && n < buf.size()) t = buf.c_str();
  t = ShortForm(t);
  while (t.size() > RootLength(t) && (t.back() == L'\\' || t.back() == L'/')) t.pop_back();
  return t;
}

std::wstring DefaultFolder(const SelfArchive& archive) {
  const std::wstring proposed = AbsoluteFolder(archive.installDir(), archive.exeDir());
  return proposed.empty() ? archive.exeDir() : proposed;
}

std::wstring DamageText(const SelfArchive& archive) {
  std::wstring text;
  if (archive.listError() != 0) {
    const auto& m = archive.members();
    text = Cat(L"書庫が壊れているか、途中で切れています (", ReasonText(archive.listError()), L")。\n");
    text += m.empty() ? std::wstring(L"ファイルを一つも読めません。")
                      : Cat(L"「", Shown(m.back().name), L"」より後のファイルを読めません。");
    text += L"\n何も展開していません。完全な自己解凍ファイルを入手し直してください。";
  } else if (archive.optionsBroken()) {
    text = L"書庫の設定ファイル $ が壊れています。何も展開していません。";
  }
  return text;
}

std::wstring OpenDocument(HWND owner, const SelfArchive& archive, const std::wstring& dir,
                          const std::vector<std::wstring>& files) {
  std::wstring command = Trimmed(archive.command());
  if (command.size() >= 2 && command.front() == L'"' && command.back() == L'"') {
    command = Trimmed(command.substr(1, command.size() - 2));
  }
  if (command.empty()) return {};
  // Only a document is opened: a program named there is never started.
  if (!IsDocumentName(command)) {
    return Cat(L"「", Shown(command), L"」は開く文書 (.txt、.htm、.html) ではないため開きません。");
  }
  std::wstring path;
  switch (FindDocument(dir, command, files, path)) {
    case DocumentLookup::kFound: break;
    case DocumentLookup::kNone: return Cat(L"開く文書「", Shown(command), L"」が展開したファイルの中にありません。");
    case DocumentLookup::kSeveral:
      return Cat(L"開く文書「", Shown(command), L"」と同じ名前のファイルが複数あるため、どれを開くか決められません。");
    case DocumentLookup::kUnsafe: return Cat(L"開く文書「", Shown(command), L"」はインストール先フォルダの外を指しています。");
  }
  const auto rc =
      reinterpret_cast<INT_PTR>(ShellExecuteW(owner, L"open", path.c_str(), nullptr, dir.c_str(), SW_SHOWNORMAL));
  if (rc <= 32) return Cat(L"文書「", Shown(path), L"」を開けませんでした。");
  return {};
}

std::wstring FailureLines(const std::vector<std::wstring>& failed, std::size_t limit) {
  std::wstring text;
  for (std::size_t i = 0; i < failed.size() && i < limit; ++i) text += Cat(L"", failed[i], L"\n");
  if (failed.size() > limit) {
    wchar_t more[64];
    wsprintfW(more, L"ほか %u 件\n", static_cast<unsigned>(failed.size() - limit));
    text += more;
  }
  return text;
}

}  // namespace sfxw
