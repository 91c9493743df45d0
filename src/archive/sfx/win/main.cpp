// The Windows self-extractor. UnLHA32.DLL's "s" command writes a copy of
// this program followed by an LHA archive and a trailer that points at it.
// Started plainly it shows the installer window; "/S /D=<folder>" or
// "--dir DIR --yes --no-open" extract without asking, "/O=" or
// "--overwrite" say what happens to files that exist already. The exit code is 0
// only when every member was extracted and its CRC checked.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "extract_run.h"
#include "install_flow.h"
#include "member_paths.h"
#include "self_archive.h"
#include "sfx_window.h"
#include "switches.h"
#include "win_text.h"

namespace sfxw {
namespace {

// Extraction without questions: existing files are handled by the
// /O= mode; a file that stays in use fails.
class Unattended : public ExtractObserver {
 public:
  bool Progress(std::size_t, std::size_t, uint64_t, uint64_t, const std::wstring&) override { return true; }
  OverwriteChoice AskOverwrite(const std::wstring&) override { return OverwriteChoice::kOverwriteAll; }
  InUseChoice AskInUse(const std::wstring&) override { return InUseChoice::kSkip; }
  bool Interactive() const override { return false; }
};

int RunUnattended(const SelfArchive& archive, const std::wstring& folder, OverwriteMode mode, bool open) {
  ReportLine(WindowTitleOf(archive));
  const std::wstring damage = DamageText(archive);
  if (!damage.empty()) {
    ReportLine(Cat(L"エラー: ", damage));
    return kExitFailed;
  }
  if (!MakeFolders(folder)) {
    ReportLine(Cat(L"エラー: フォルダ「", folder, L"」を作成できません。"));
    return kExitFailed;
  }
  Unattended observer;
  const ExtractResult r = ExtractAll(archive, folder, mode, observer);
  for (const std::wstring& f : r.files) ReportLine(Cat(L"展開: ", f));
  for (const std::wstring& f : r.skipped) ReportLine(Cat(L"既存のまま: ", f));
  if (!r.ok()) {
    ReportLine(Cat(L"エラー: 次のファイルを展開できませんでした。展開先: ", folder));
    for (const std::wstring& f : r.failed) ReportLine(Cat(L"  ", f));
    return kExitFailed;
  }
  ReportLine(Cat(L"展開しました: ", folder));
  if (open) {
    const std::wstring warning = OpenDocument(nullptr, archive, folder, r.files);
    if (!warning.empty()) ReportLine(Cat(L"警告: ", warning));
  }
  return kExitOk;
}

int Run() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  if (argv) LocalFree(argv);
  const Switches s = ParseSwitches(args);
  if (s.help || !s.error.empty()) {
    const std::wstring text = s.error.empty() ? std::wstring(kUsage) : Cat(L"このスイッチは使えません: ", Shown(s.error), L"\n\n") + kUsage;
    ReportLine(text);
    if (!s.unattended) {
      MessageBoxW(nullptr, text.c_str(), L"自己解凍", MB_OK | (s.error.empty() ? MB_ICONINFORMATION : MB_ICONWARNING));
    }
    return s.error.empty() ? kExitOk : kExitUsage;
  }
  SelfArchive archive;
  if (!archive.Open()) {
    // A file cut short before its first member looks like the stub alone.
    const std::wstring text = DamageText(archive);
    ReportLine(Cat(L"エラー: ", text));
    if (!s.unattended) MessageBoxW(nullptr, text.c_str(), L"自己解凍", MB_OK | MB_ICONERROR);
    return kExitFailed;
  }
  std::wstring folder = s.haveFolder ? AbsoluteFolder(s.folder, std::wstring()) : DefaultFolder(archive);
  if (folder.empty()) folder = archive.exeDir();
  if (s.unattended) return RunUnattended(archive, folder, s.overwrite, s.open);
  return RunWindow(archive, folder, s.overwrite, s.open);
}

}  // namespace
}  // namespace sfxw

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return sfxw::Run(); }
