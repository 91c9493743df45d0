// The baseline of the self-extractor's many-files benchmark: a plain
// Windows program that creates the same tree (COUNT files of SIZE bytes,
// PER files to a folder) with nothing but CreateDirectoryW, CreateFileW,
// WriteFile and CloseHandle, run under wine the same way as the stub.
//   plain_create DIR COUNT SIZE PER
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 5) return 2;
  const std::wstring dir = argv[1];
  const long count = std::wcstol(argv[2], nullptr, 10), size = std::wcstol(argv[3], nullptr, 10),
             per = std::wcstol(argv[4], nullptr, 10);
  std::vector<char> data(static_cast<std::size_t>(size), 'x');
  CreateDirectoryW(dir.c_str(), nullptr);
  std::wstring folder;
  for (long i = 0; i < count; ++i) {
    if (i % per == 0) {
      folder = dir + L"\\part" + std::to_wstring(i / per);
      if (!CreateDirectoryW(folder.c_str(), nullptr)) return 1;
    }
    const std::wstring path = folder + L"\\file" + std::to_wstring(i) + L".txt";
    const HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    if (!WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr)) return 1;
    CloseHandle(h);
  }
  return 0;
}
