#include "win_text.h"

#include <windows.h>

namespace sfxw {

std::wstring Widen(const std::string& bytes, unsigned codePage) {
  if (bytes.empty()) return {};
  const int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return {};
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), out.data(), n);
  return out;
}

std::wstring WidenStored(const std::string& bytes) {
  if (bytes.empty()) return {};
  for (unsigned cp : {932u, static_cast<unsigned>(CP_UTF8)}) {
    const int n = MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (n > 0) return Widen(bytes, cp);
  }
  return Widen(bytes, 932);
}

std::string Narrow(const std::wstring& text, unsigned codePage) {
  if (text.empty()) return {};
  const int n =
      WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

__attribute__((noinline)) std::wstring Cat(const wchar_t* a, const std::wstring& b, const wchar_t* c) {
  std::wstring s(a);
  s += b;
  s += c;
  return s;
}

void ReportLine(const std::wstring& line) {
  const HANDLE h = GetStdHandle(STD_ERROR_HANDLE);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
  const std::string bytes = Narrow(line + L"\n", CP_UTF8);
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace sfxw
