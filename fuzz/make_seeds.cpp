// Writes the fuzz targets' seed corpora with the project's own writers: the
// LHA library's add command (-lh5-, -lh6-, -lh7-, stored members and
// folders), hand-made headers of levels 0, 1 and 2, Cab32's pack command,
// the settings file's save and the index writer. The seeds stay small.
//
//   fuzz_seeds <corpus-folder>     (writes <corpus-folder>/<target>/<seed>)
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QFile>

#include "archive/cab/cab_internal.h"
#include "archive/common/command_line.h"
#include "archive/lha/lha_commands.h"
#include "archive/lha/lha_craft.h"
#include "index/index_writer.h"
#include "profiles/profile_store.h"
#include "util/app_globals.h"
#include "util/cp932/cp932.h"
#include "util/message_box.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

std::string Sjis(const std::string& utf8) {
  std::string out;
  if (!cp932::FromUtf8(utf8, out)) std::abort();
  return out;
}

class NoBoxes final : public lm::MessageBoxSink {
 public:
  int Show(const QString& text, int, const QString&) override {
    std::fprintf(stderr, "message: %s\n", text.toUtf8().constData());
    return lm::button::OK;
  }
};

// A small script tree: text that compresses, a Japanese name, a folder.
void MakeTree(const fs::path& root) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += "line " + std::to_string(i) + " of the sample script text\r\n";
  Write(root / "a.txt", text);
  Write(root / "日本語.txt", "日本語のテキスト");
  Write(root / "sub/b.bin", std::string("\x00\x01\x02\x03\xFF\xFE", 6) + text.substr(0, 200));
  fs::create_directories(root / "sub/empty");
}

void LzhSeeds(const fs::path& work, const fs::path& corpus) {
  const fs::path tree = work / "tree";
  MakeTree(tree);
  int n = 0;
  for (const char* sw : {"-o5", "-o6", "-o7"}) {
    const fs::path arc = work / (std::string("s") + sw + ".lzh");
    std::string report;
    if (lha::RunCommand("a " + arc.string() + " " + tree.string() + "/ *.* -xr2 " + sw, {}, report) != 0) {
      std::fprintf(stderr, "%s", report.c_str());
      std::abort();
    }
    const std::string bytes = ReadAll(arc);
    for (const char* target : {"lzh_read", "lzh_extract"}) Write(corpus / target / ("writer" + std::to_string(n)), bytes);
    ++n;
  }
  // Header levels 0, 1 and 2 with stored members and a folder, and one
  // member whose path climbs out.
  for (int level : {0, 1, 2}) {
    const std::string bytes = lhatest::CraftArchive({{"dir\\a.txt", "hello", level},
                                                     {Sjis("日本\\語.txt"), "text", level},
                                                     {"dir", "", level, true}});
    for (const char* target : {"lzh_read", "lzh_extract"}) {
      Write(corpus / target / ("level" + std::to_string(level)), bytes);
    }
  }
  Write(corpus / "lzh_extract" / "climbing", lhatest::CraftArchive({{"..\\out.txt", "x"}, {"ok.txt", "y"}}));
}

void RoundTripSeeds(const fs::path& corpus) {
  std::string text;
  for (int i = 0; i < 30; ++i) text += "repeated words, repeated words " + std::to_string(i) + "\n";
  for (int sel = 0; sel < 8; ++sel) Write(corpus / "lzh_roundtrip" / ("s" + std::to_string(sel)), std::string(1, char(sel)) + text);
  Write(corpus / "lzh_roundtrip" / "bytes", std::string("\x05", 1) + std::string(300, '\0') + "\xFF\xFE\xFD");
}

void CabSeeds(const fs::path& work, const fs::path& corpus) {
  const fs::path tree = work / "cabtree";
  MakeTree(tree);
  for (const char* sw : {"-a -r", "-a"}) {
    const fs::path cab = work / "s.cab";
    fs::remove(cab);
    std::string report;
    if (cab::RunCommand(arc::ParseCommand(std::string(sw) + " " + cab.string() + " " + tree.string() + "/ *.*"), report) != 0) {
      std::fprintf(stderr, "%s", report.c_str());
      std::abort();
    }
    Write(corpus / "cab" / (std::string(sw) == "-a" ? "flat" : "recursive"), ReadAll(cab));
  }
}

void ProfileSeeds(const fs::path& work, const fs::path& corpus) {
  lm::SetExecutableDirForTesting(QString::fromStdString(work.string()));
  lm::LoadProfiles();
  lm::Profile& p = lm::profileTable[0];
  p.profile = QStringLiteral("サンプル");
  p.ugu = QStringLiteral("C:\\Quillet\\Sample.ugu");
  p.dirarc = QStringLiteral("D:\\arc\\");
  p.namearc = QStringLiteral("sample");
  p.addfile[0] = QStringLiteral("C:\\extra\\readme.txt");
  p.addfilecnt = 1;
  p.exewintitle = QStringLiteral("ｻﾝﾌﾟﾙ");
  lm::profileTable[1] = p;
  lm::profileTable[1].profile = QStringLiteral("second");
  lm::lastProfile = 1;
  lm::SaveProfiles();
  Write(corpus / "profiles" / "saved", ReadAll(work / "lfup.ini"));
  Write(corpus / "profiles" / "legacy", "ugu=C:\\Old\\Old.ugu\r\nprofile=old\r\n#comment\r\n");
}

std::string IndexSeedTree(const fs::path& work) {
  const fs::path dat = work / "DAT";
  MakeTree(dat);
  lm::makeTmpIndex = 0;
  struct NullView final : lm::IndexRunView {
    void SetExecuteEnabled(bool) override {}
    void ClearList() override {}
    void AddListLine(const QString&) override {}
  } view;
  if (lm::WriteIndexFiles(QString::fromStdString(dat.string() + "/"), QStringLiteral("2026 12 10 9 0 "), 1, view) != 0) {
    std::abort();
  }
  return ReadAll(dat / "index.fet");
}

void IndexSeeds(const fs::path& work, const fs::path& corpus) {
  const std::string local = IndexSeedTree(work);
  // The server's copy: one entry older, one gone, one more.
  std::string server = local;
  const std::size_t at = server.find("f000");
  if (at != std::string::npos) server[at - 2] = '0';
  server += "200001010000f00001+gone.txt\r\n";
  Write(corpus / "index_compare" / "differ", local + std::string(1, '\0') + server);
  Write(corpus / "index_compare" / "same", local + std::string(1, '\0') + local);
}

void ListingSeeds(const fs::path& corpus) {
  Write(corpus / "ftp_listing" / "unix",
        "drwxr-xr-x   2 user group     4096 Dec  1 10:00 dir\r\n"
        "-rw-r--r--   1 user group   123456 Jan 15  2004 " + Sjis("日本語.txt") + "\r\n"
        "lrwxrwxrwx   1 user group        7 Mar  3 09:15 link -> target\r\n");
  Write(corpus / "ftp_listing" / "dos",
        "02-19-04  03:10PM       <DIR>          dir\r\n"
        "02-19-04  03:10PM                 1234 a.txt\r\n");
  Write(corpus / "ftp_listing" / "mlsd",
        "type=file;size=12;modify=20040219061000; a.txt\r\n"
        "type=dir;modify=20040219061000; sub\r\n");
}

void Cp932Seeds(const fs::path& corpus) {
  Write(corpus / "cp932" / "text", Sjis("更新定義ファイルを出力しました。ｽｸﾘﾌﾟﾄ ソ表"));
  Write(corpus / "cp932" / "mixed", Sjis("日本") + "\x80\x83" + "ab\xFD\xFE" + Sjis("語") + "\x81");
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds <corpus-folder>\n");
    return 2;
  }
  NoBoxes boxes;
  lm::SetMessageBoxSink(&boxes);
  const fs::path corpus = fs::absolute(argv[1]);
  const fs::path work = fs::temp_directory_path() / ("lm-seeds-" + std::to_string(::getpid()));
  fs::remove_all(work);
  fs::create_directories(work);
  LzhSeeds(work, corpus);
  RoundTripSeeds(corpus);
  CabSeeds(work, corpus);
  ProfileSeeds(work, corpus);
  IndexSeeds(work, corpus);
  ListingSeeds(corpus);
  Cp932Seeds(corpus);
  fs::remove_all(work);
  return 0;
}
