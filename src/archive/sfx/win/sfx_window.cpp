#include "sfx_window.h"

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include "extract_run.h"
#include "install_flow.h"
#include "member_paths.h"
#include "win_text.h"

namespace sfxw {
namespace {

enum ControlId { kIdLabel = 100, kIdFolder, kIdBrowse, kIdProgress, kIdStatus };
constexpr UINT kWmStart = WM_APP + 1;
const wchar_t kMainClass[] = L"LoftmarkSfxWindow";
const wchar_t kChoiceClass[] = L"LoftmarkSfxChoice";

// The windows are laid out in pixels at 96 DPI and scaled to the DPI of
// the monitor the installer window opens on (the manifest declares
// per-monitor awareness, so the system does not stretch them blurred).
int dpi = 96;
int Scaled(int v) { return MulDiv(v, dpi, 96); }

int DpiOf(HWND w) {
  using GetDpi = UINT(WINAPI*)(HWND);
  const auto get = reinterpret_cast<GetDpi>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (get && w) return static_cast<int>(get(w));
  const HDC dc = GetDC(nullptr);
  const int d = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(nullptr, dc);
  return d > 0 ? d : 96;
}

HFONT UiFont() {
  static HFONT font = nullptr;
  if (!font) {
    NONCLIENTMETRICSW ncm{};
    ncm.cbSize = sizeof ncm;
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof ncm, &ncm, 0);
    // The texts are Japanese: ask for a face that has the glyphs, as the
    // message font of a system in another language may not.
    ncm.lfMessageFont.lfCharSet = SHIFTJIS_CHARSET;
    ncm.lfMessageFont.lfHeight = -MulDiv(9, dpi, 72);
    font = CreateFontIndirectW(&ncm.lfMessageFont);
  }
  return font;
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id,
           DWORD exStyle = 0) {
  HWND c = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, Scaled(x), Scaled(y), Scaled(w),
                           Scaled(h), parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                           GetModuleHandleW(nullptr), nullptr);
  SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(UiFont()), TRUE);
  return c;
}

// Handles pending window messages; the extraction runs on the window's own
// thread and calls this between chunks of data.
void Pump(HWND dialog) {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (!IsDialogMessageW(dialog, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

// --- a question with a row of buttons ------------------------------------------

// Buttons have the ids kIdChoice, kIdChoice + 1, ... (none of them IDOK or
// IDCANCEL, which Enter and Escape send); Escape and the close box cancel.
constexpr int kIdChoice = 200;

struct ChoiceState {
  int answer = -2;  // -1: cancelled
};

LRESULT CALLBACK ChoiceProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  auto* state = reinterpret_cast<ChoiceState*>(GetWindowLongPtrW(w, GWLP_USERDATA));
  switch (msg) {
    case WM_COMMAND:
      if (state && LOWORD(wp) >= kIdChoice && LOWORD(wp) < kIdChoice + 8) state->answer = LOWORD(wp) - kIdChoice;
      if (state && LOWORD(wp) == IDCANCEL) state->answer = -1;
      return 0;
    case WM_CLOSE:
      if (state) state->answer = -1;
      return 0;
    case DM_GETDEFID:
      return MAKELRESULT(kIdChoice, DC_HASDEFID);
    default:
      return DefWindowProcW(w, msg, wp, lp);
  }
}

// Shows `question` about `path` with the buttons; the index of the one
// pressed, -1 when cancelled.
int AskChoice(HWND owner, const wchar_t* title, const wchar_t* question, const std::wstring& path,
              const wchar_t* const* buttons, int count) {
  ChoiceState state;
  RECT r;
  GetWindowRect(owner, &r);
  const int width = 24 + count * 130;
  HWND w = CreateWindowExW(WS_EX_DLGMODALFRAME, kChoiceClass, title, WS_POPUP | WS_CAPTION | WS_SYSMENU, r.left + 20,
                           r.top + 20, Scaled(width + 16), Scaled(170), owner, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
  SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
  Child(w, L"STATIC", question, SS_LEFT, 12, 14, width - 24, 20, 0);
  Child(w, L"STATIC", Shown(path).c_str(), SS_LEFT | SS_PATHELLIPSIS | SS_NOPREFIX, 12, 42, width - 24, 20, 0);
  for (int i = 0; i < count; ++i) {
    Child(w, L"BUTTON", buttons[i], WS_TABSTOP | (i == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 12 + i * 130, 88, 120,
          28, kIdChoice + i);
  }
  EnableWindow(owner, FALSE);
  ShowWindow(w, SW_SHOW);
  SetFocus(GetDlgItem(w, kIdChoice));
  MSG msg;
  while (state.answer == -2 && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(w, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  EnableWindow(owner, TRUE);
  DestroyWindow(w);
  SetForegroundWindow(owner);
  return state.answer;
}

OverwriteChoice AskOverwriteWindow(HWND owner, const std::wstring& path) {
  static const wchar_t* const kButtons[] = {L"上書き(&Y)", L"すべて上書き(&A)", L"スキップ(&S)", L"すべてスキップ(&N)"};
  static const OverwriteChoice kChoices[] = {OverwriteChoice::kOverwrite, OverwriteChoice::kOverwriteAll,
                                             OverwriteChoice::kSkip, OverwriteChoice::kSkipAll};
  const int a = AskChoice(owner, L"ファイルの上書き確認", L"同じ名前のファイルがあります。上書きしますか?", path,
                          kButtons, 4);
  return a < 0 ? OverwriteChoice::kCancel : kChoices[a];
}

InUseChoice AskInUseWindow(HWND owner, const std::wstring& path) {
  static const wchar_t* const kButtons[] = {L"再試行(&R)", L"スキップ(&S)", L"中止(&C)"};
  const int a = AskChoice(owner, L"ファイルを使用中",
                          L"ほかのプログラムが使用中のため書き込めません。閉じてから再試行してください。", path,
                          kButtons, 3);
  return a == 0 ? InUseChoice::kRetry : a == 1 ? InUseChoice::kSkip : InUseChoice::kCancel;
}

// --- the main window -----------------------------------------------------------

class InstallerWindow : public ExtractObserver {
 public:
  InstallerWindow(const SelfArchive& archive, const std::wstring& folder, OverwriteMode mode, bool openDocument)
      : archive_(archive), folder_(folder), mode_(mode), openDocument_(openDocument), title_(WindowTitleOf(archive)) {}

  int Run() {
    const int width = 440, height = 190;
    hwnd_ = CreateWindowExW(WS_EX_DLGMODALFRAME | WS_EX_APPWINDOW, kMainClass, title_.c_str(),
                            WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT, CW_USEDEFAULT, width,
                            height, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    if (!hwnd_) return kExitFailed;
    dpi = DpiOf(hwnd_);
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - Scaled(width)) / 2,
                 work.top + (work.bottom - work.top - Scaled(height)) / 2, Scaled(width), Scaled(height), SWP_NOZORDER);
    const std::wstring label = archive_.installTitle().empty() ? L"ｲﾝｽﾄｰﾙ先ﾌｫﾙﾀﾞ(&D)" : archive_.installTitle();
    Child(hwnd_, L"STATIC", label.c_str(), SS_LEFT, 12, 12, 410, 18, kIdLabel);
    edit_ = Child(hwnd_, L"EDIT", folder_.c_str(), WS_TABSTOP | ES_AUTOHSCROLL, 12, 32, 310, 24, kIdFolder,
                  WS_EX_CLIENTEDGE);
    browse_ = Child(hwnd_, L"BUTTON", L"参照...", WS_TABSTOP | BS_PUSHBUTTON, 330, 31, 92, 26, kIdBrowse);
    progress_ = Child(hwnd_, L"msctls_progress32", L"", PBS_SMOOTH, 12, 66, 410, 16, kIdProgress);
    status_ = Child(hwnd_, L"STATIC", L"", SS_LEFT | SS_PATHELLIPSIS | SS_NOPREFIX, 12, 86, 410, 18, kIdStatus);
    ok_ = Child(hwnd_, L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 234, 114, 90, 28, IDOK);
    cancel_ = Child(hwnd_, L"BUTTON", L"キャンセル", WS_TABSTOP | BS_PUSHBUTTON, 332, 114, 90, 28, IDCANCEL);
    SendMessageW(progress_, PBM_SETRANGE32, 0, 1000);
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    SetForegroundWindow(hwnd_);
    SetFocus(ok_);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (!IsDialogMessageW(hwnd_, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    return exitCode_;
  }

  static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
      SetWindowLongPtrW(w, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
    }
    auto* self = reinterpret_cast<InstallerWindow*>(GetWindowLongPtrW(w, GWLP_USERDATA));
    return self ? self->Handle(w, msg, wp, lp) : DefWindowProcW(w, msg, wp, lp);
  }

 private:
  LRESULT Handle(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case DM_GETDEFID:
        return MAKELRESULT(IDOK, DC_HASDEFID);
      case WM_COMMAND:
        switch (LOWORD(wp)) {
          case IDOK:
            if (!running_) PostMessageW(w, kWmStart, 0, 0);
            return 0;
          case IDCANCEL:
            Cancel();
            return 0;
          case kIdBrowse:
            Browse();
            return 0;
          default:
            break;
        }
        break;
      case kWmStart:
        Start();
        return 0;
      case WM_CLOSE:
        Cancel();
        return 0;
      case WM_DESTROY:
        PostQuitMessage(exitCode_);
        return 0;
      default:
        break;
    }
    return DefWindowProcW(w, msg, wp, lp);
  }

  void Cancel() {
    if (running_) {
      cancelRequested_ = true;
      return;
    }
    exitCode_ = kExitCancelled;
    DestroyWindow(hwnd_);
  }

  void Browse() {
    std::wstring current = Text(edit_);
    BROWSEINFOW bi{};
    bi.hwndOwner = hwnd_;
    bi.lpszTitle = L"展開するフォルダを選んでください。";
    bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    bi.lpfn = [](HWND w, UINT m, LPARAM, LPARAM data) -> int {
      if (m == BFFM_INITIALIZED) SendMessageW(w, BFFM_SETSELECTIONW, TRUE, data);
      return 0;
    };
    bi.lParam = reinterpret_cast<LPARAM>(current.c_str());
    PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi);
    if (!pidl) return;
    std::wstring path(kMaxLongPath, L'\0');
    if (SHGetPathFromIDListEx(pidl, path.data(), kMaxLongPath, GPFIDL_DEFAULT)) SetWindowTextW(edit_, path.c_str());
    CoTaskMemFree(pidl);
  }

  static std::wstring Text(HWND w) {
    std::wstring s(static_cast<std::size_t>(GetWindowTextLengthW(w)) + 1, L'\0');
    s.resize(static_cast<std::size_t>(GetWindowTextW(w, s.data(), static_cast<int>(s.size()))));
    return s;
  }

  int Message(const std::wstring& text, UINT flags) { return MessageBoxW(hwnd_, text.c_str(), title_.c_str(), flags); }

  void Start() {
    const std::wstring folder = AbsoluteFolder(Text(edit_), archive_.exeDir());
    if (folder.empty()) {
      Message(L"インストール先フォルダを入力してください。", MB_OK | MB_ICONWARNING);
      SetFocus(edit_);
      return;
    }
    const DWORD attr = GetFileAttributesW(folder.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY)) {
      Message(Cat(L"「", folder, L"」はフォルダではありません。"), MB_OK | MB_ICONWARNING);
      return;
    }
    if (attr == INVALID_FILE_ATTRIBUTES) {
      if (Message(Cat(L"フォルダ「", folder, L"」はありません。作成しますか?"), MB_YESNO | MB_ICONQUESTION) != IDYES) {
        return;
      }
      if (!MakeFolders(folder)) {
        Message(Cat(L"フォルダ「", folder, L"」を作成できません。"), MB_OK | MB_ICONERROR);
        return;
      }
    }
    running_ = true;
    EnableWindow(ok_, FALSE);
    EnableWindow(edit_, FALSE);
    EnableWindow(browse_, FALSE);
    SetFocus(cancel_);
    const ExtractResult r = ExtractAll(archive_, folder, mode_, *this);
    running_ = false;
    if (r.cancelled) {
      SetWindowTextW(status_, L"中止しました。");
      Message(L"展開を中止しました。展開し終えたファイルは残っています。", MB_OK | MB_ICONINFORMATION);
      exitCode_ = kExitCancelled;
    } else if (!r.ok()) {
      SetWindowTextW(status_, L"展開できなかったファイルがあります。");
      Message(Cat(L"次のファイルを展開できませんでした。\n\n", FailureLines(r.failed, 15)), MB_OK | MB_ICONERROR);
      exitCode_ = kExitFailed;
    } else {
      SendMessageW(progress_, PBM_SETPOS, 1000, 0);
      SetWindowTextW(status_, L"展開しました。");
      exitCode_ = kExitOk;
      std::vector<std::wstring> present = r.files;
      present.insert(present.end(), r.skipped.begin(), r.skipped.end());
      const std::wstring warning = openDocument_ ? OpenDocument(hwnd_, archive_, folder, present) : std::wstring();
      if (!warning.empty()) {
        Message(Cat(L"展開しました。\n\n", warning), MB_OK | MB_ICONWARNING);
      } else if (!openDocument_ || archive_.command().empty()) {
        Message(Cat(L"「", folder, L"」に展開しました。"), MB_OK | MB_ICONINFORMATION);
      }
    }
    DestroyWindow(hwnd_);
  }

  bool Progress(std::size_t index, std::size_t count, uint64_t done, uint64_t total, const std::wstring& name) override {
    const int pos = total ? static_cast<int>(done * 1000 / total) : static_cast<int>(index * 1000 / (count ? count : 1));
    SendMessageW(progress_, PBM_SETPOS, pos, 0);
    wchar_t head[64];
    wsprintfW(head, L"(%u/%u) ", static_cast<unsigned>(index + 1), static_cast<unsigned>(count));
    const std::wstring line = head + name;
    if (line != shown_) {
      SetWindowTextW(status_, line.c_str());
      shown_ = line;
    }
    Pump(hwnd_);
    return !cancelRequested_;
  }

  OverwriteChoice AskOverwrite(const std::wstring& path) override { return AskOverwriteWindow(hwnd_, path); }
  InUseChoice AskInUse(const std::wstring& path) override { return AskInUseWindow(hwnd_, path); }
  bool Interactive() const override { return true; }

  const SelfArchive& archive_;
  std::wstring folder_;
  OverwriteMode mode_;
  bool openDocument_;
  std::wstring title_;
  std::wstring shown_;
  HWND hwnd_ = nullptr, edit_ = nullptr, browse_ = nullptr, progress_ = nullptr, status_ = nullptr, ok_ = nullptr,
       cancel_ = nullptr;
  bool running_ = false;
  bool cancelRequested_ = false;
  int exitCode_ = kExitCancelled;
};

void RegisterClasses() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.lpfnWndProc = &InstallerWindow::Proc;
  wc.lpszClassName = kMainClass;
  RegisterClassExW(&wc);
  wc.lpfnWndProc = &ChoiceProc;
  wc.lpszClassName = kChoiceClass;
  RegisterClassExW(&wc);
}

}  // namespace

int RunWindow(const SelfArchive& archive, const std::wstring& folder, OverwriteMode mode, bool openDocument) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  RegisterClasses();
  const std::wstring damage = DamageText(archive);
  if (!damage.empty()) {
    MessageBoxW(nullptr, damage.c_str(), WindowTitleOf(archive).c_str(), MB_OK | MB_ICONERROR);
    return kExitFailed;
  }
  InstallerWindow window(archive, folder, mode, openDocument);
  const int rc = window.Run();
  CoUninitialize();
  return rc;
}

}  // namespace sfxw
