// The Windows self-extractor. UnLHA32.DLL's "s" command writes a copy of
// this program followed by an LHA archive and a trailer that points at it.
// Started plainly it shows the installer window; "/S /D=<folder>" or
// "--dir DIR --yes --no-open" extract without asking. The exit code is 0
// only when every member was extracted and its CRC checked.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "extract_run.h"
#include "install_flow.h"
#include "self_archive.h"
#include "sfx_window.h"
#include "win_text.h"

namespace sfxw {
namespace {

struct Switches {
  std::wstring folder;
  bool haveFolder = false;
  bool unattended = false;
  bool open = true;
  bool help = false;
  bool bad = false;
};

const wchar_t kUsage[] =
    L"使い方: 自己解凍ファイル [/S] [/D=展開先]\n"
    L"        自己解凍ファイル [--dir 展開先] [--yes] [--no-open]\n"
    L"  /S          確認せずに展開する (文書は開かない)\n"
    L"  /D=展開先   展開先フォルダ (最後に指定し、空白を含んでもよい)\n"
    L"  --dir 展開先  展開先フォルダ\n"
    L"  --yes       確認せずに展開する\n"
    L"  --no-open   展開後に文書を開かない";

Switches ParseSwitches(int argc, wchar_t** argv) {
  Switches s;
  for (int i = 1; i < argc; ++i) {
    const std::wstring a = argv[i];
    if (a == L"/S" || a == L"/s") {
      s.unattended = true;
      s.open = false;
    } else if (a.size() >= 3 && (a.compare(0, 3, L"/D=") == 0 || a.compare(0, 3, L"/d=") == 0)) {
      // As installers have it: the folder is the rest of the line, blanks and all.
      s.folder = a.substr(3);
      for (++i; i < argc; ++i) s.folder += std::wstring(L" ") + argv[i];
      s.haveFolder = true;
    } else if (a == L"--dir" && i + 1 < argc) {
      s.folder = argv[++i];
      s.haveFolder = true;
    } else if (a.compare(0, 6, L"--dir=") == 0) {
      s.folder = a.substr(6);
      s.haveFolder = true;
    } else if (a == L"--yes" || a == L"-y") {
      s.unattended = true;
    } else if (a == L"--no-open") {
      s.open = false;
    } else if (a == L"--help" || a == L"-h" || a == L"/?") {
      s.help = true;
    } else {
      s.bad = true;
    }
  }
  return s;
}

// Extraction without questions: existing files are overwritten.
class Unattended : public ExtractObserver {
 public:
  bool Progress(std::size_t, std::size_t, uint64_t, uint64_t, const std::wstring&) override { return true; }
  OverwriteChoice AskOverwrite(const std::wstring&) override { return OverwriteChoice::kOverwriteAll; }
};

int RunUnattended(const SelfArchive& archive, const std::wstring& folder, bool open) {
  ReportLine(WindowTitleOf(archive));
  const std::wstring damage = DamageText(archive);
  if (!damage.empty()) {
    ReportLine(L"エラー: " + damage);
    return kExitFailed;
  }
  if (!MakeFolders(folder)) {
    ReportLine(L"エラー: フォルダ「" + folder + L"」を作成できません。");
    return kExitFailed;
  }
  Unattended observer;
  const ExtractResult r = ExtractAll(archive, folder, observer);
  for (const std::wstring& f : r.files) ReportLine(L"展開: " + f);
  if (!r.ok()) {
    ReportLine(L"エラー: 次のファイルを展開できませんでした。展開先: " + folder);
    for (const std::wstring& f : r.failed) ReportLine(L"  " + f);
    return kExitFailed;
  }
  ReportLine(L"展開しました: " + folder);
  if (open) {
    const std::wstring warning = OpenDocument(nullptr, archive, folder, r.files);
    if (!warning.empty()) ReportLine(L"警告: " + warning);
  }
  return kExitOk;
}

int Run() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  const Switches s = ParseSwitches(argc, argv);
  if (argv) LocalFree(argv);
  if (s.help || s.bad) {
    ReportLine(kUsage);
    if (!s.unattended) MessageBoxW(nullptr, kUsage, L"自己解凍", MB_OK | (s.bad ? MB_ICONWARNING : MB_ICONINFORMATION));
    return s.bad ? kExitUsage : kExitOk;
  }
  SelfArchive archive;
  if (!archive.Open()) {
    const wchar_t* text = L"このプログラムには書庫が付いていないか、書庫を読めません。";
    ReportLine(std::wstring(L"エラー: ") + text);
    if (!s.unattended) MessageBoxW(nullptr, text, L"自己解凍", MB_OK | MB_ICONERROR);
    return kExitUsage;
  }
  std::wstring folder = s.haveFolder ? AbsoluteFolder(s.folder, std::wstring()) : DefaultFolder(archive);
  if (folder.empty()) folder = archive.exeDir();
  if (s.unattended) return RunUnattended(archive, folder, s.open);
  return RunWindow(archive, folder, s.open);
}

}  // namespace
}  // namespace sfxw

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return sfxw::Run(); }
