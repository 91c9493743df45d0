// The self-extractor stub. UnLHA32.DLL's "s" command writes a copy of this
// program followed by an LHA archive and a trailer that points at it. Run,
// it shows the archive's title, asks for the install directory (or takes
// --dir DIR --yes), extracts every member but the option file "$" with its
// path and checked CRC, and opens the "$Command" document.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "archive/lha/lha_archive.h"
#include "archive/lha/lha_commands.h"
#include "archive/sfx/sfx_options.h"
#include "util/text/visible_text.h"

extern char** environ;

namespace {

bool IsOptionFile(const std::string& path) { return path == "$"; }

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Slashes(std::string s) {
  for (char& c : s) {
    if (c == '\\') c = '/';
  }
  return s;
}

// Texts from the archive (title, labels, names) and from the user reach the
// terminal only escaped: an ESC or CR in them would act instead of showing.
std::string Shown(const std::string& text) { return visible::Escape(text); }

// The library's report with its line ends made the terminal's: every other
// control character in it is already escaped.
std::string ReportLines(std::string report) {
  std::string out;
  std::size_t start = 0;
  while (start < report.size()) {
    std::size_t end = report.find("\r\n", start);
    if (end == std::string::npos) end = report.size();
    out += Shown(report.substr(start, end - start)) + "\n";
    start = end + 2;
  }
  return out;
}

int Fail(const std::string& message) {
  std::cerr << "エラー: " << Shown(message) << "\n";
  return 1;
}

void Usage() {
  std::cout << "使い方: 自己解凍ファイル [--dir 展開先] [--yes] [--no-open]\n"
               "  --dir DIR   展開先フォルダ\n"
               "  --yes       確認せずに展開する\n"
               "  --no-open   展開後に文書を開かない\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::string dirArg;
  bool yes = false, noOpen = false, haveDir = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--dir" || a.rfind("--dir=", 0) == 0) {
      // The folder is the next word ("--dir --yes" has none) or follows "=".
      const bool joined = a.size() > 5;
      if (!joined && (i + 1 >= argc || std::string(argv[i + 1]).rfind("-", 0) == 0)) {
        Usage();
        return 2;
      }
      dirArg = joined ? a.substr(6) : argv[++i];
      if (dirArg.empty()) {
        Usage();
        return 2;
      }
      haveDir = true;
    } else if (a == "--yes" || a == "-y") {
      yes = true;
    } else if (a == "--no-open") {
      noOpen = true;
    } else if (a == "--help" || a == "-h") {
      Usage();
      return 0;
    } else {
      Usage();
      return 2;
    }
  }

  const std::string self = "/proc/self/exe";
  lha::ArchiveReader reader;
  if (reader.Open(self) != 0 || reader.archiveStart() == 0) {
    return Fail("このプログラムには書庫が付いていません。");
  }
  sfx::Options options;
  for (const lha::Entry& e : reader.entries()) {
    if (!IsOptionFile(e.path)) continue;
    std::string text;
    const int rc = reader.Extract(e, [&](const uint8_t* d, std::size_t n) {
      text.append(reinterpret_cast<const char*>(d), n);
      return true;
    });
    if (rc != 0) return Fail("オプションファイル $ が壊れています。");
    options = sfx::ParseOptions(text);
  }

  const std::string title = options.windowTitle.empty() ? BaseName(argc > 0 ? argv[0] : "") : options.windowTitle;
  std::cout << Shown(title) << "\n";
  std::string dir = haveDir ? dirArg : Slashes(options.installDir);
  if (dir.empty()) dir = ".";
  if (!yes) {
    const std::string label =
        sfx::WithoutAccelerator(options.installTitle.empty() ? "インストール先フォルダ" : options.installTitle);
    std::cout << Shown(label) << ": " << Shown(dir) << "\n"
              << "このフォルダに展開します。別のフォルダにするときはその名前を、"
                 "このままでよいときは Enter を入力してください。\n> "
              << std::flush;
    std::string answer;
    if (!std::getline(std::cin, answer)) return Fail("展開を中止しました。");
    if (!answer.empty()) dir = answer;
  }
  if (dir.back() != '/') dir += '/';

  std::string report;
  const int rc = lha::ExtractAll(self, dir, true, IsOptionFile, report);
  std::cout << ReportLines(report);
  if (rc != 0) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%X", rc);
    return Fail(std::string("展開できませんでした (") + code + ")。展開先: " + dir);
  }
  std::cout << "展開しました: " << Shown(dir) << "\n";

  if (!options.command.empty() && !noOpen) {
    const std::string doc = dir + Slashes(options.command);
    struct stat st {};
    if (options.command.find("..") != std::string::npos || ::stat(doc.c_str(), &st) != 0) {
      return Fail("開く文書が見つかりません: " + doc);
    }
    std::vector<char*> args = {const_cast<char*>("xdg-open"), const_cast<char*>(doc.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, args.data(), environ) != 0) {
      return Fail("文書を開けません (xdg-open がありません): " + doc);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return Fail("文書を開けませんでした: " + doc);
  }
  return 0;
}
