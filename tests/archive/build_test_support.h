// Support for the tests of the archive build: a program folder whose path
// holds a blank with links to the real archiver libraries and the
// self-extractor stub, a sample script on disk, a message-box sink that can
// act when a box appears, and the independent readers that check archives.
#pragma once

#include <dlfcn.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "archive/archive_steps.h"
#include "archive/build_workspace.h"
#include "archive/archiver_test_support.h"
#include "archive/lha/sfx_restub.h"
#include "profiles/profile_store.h"
#include "support/empty_profiles.h"
#include "support/temp_tree.h"
#include "util/app_globals.h"
#include "util/message_box.h"
#include "util/text_file.h"

namespace lmtest {

using Tree = std::map<QString, QByteArray>;

// A program folder "prog dir" that lives as long as the test program: the
// library keeps the path it was first loaded from to find the stub. Each link is made only when its
// target exists in the build's program folder.
inline QString SharedProgramDir() {
  static QTemporaryDir holder;
  static const QString dir = [] {
    const QString d = holder.path() + QStringLiteral("/prog dir");
    QDir().mkpath(d);
    for (const char* name : {"UnLHA32.DLL", "Cab32.DLL", "lfsfxw.exe", "lfsfx"}) {
      const QString target = BinDir() + QLatin1Char('/') + QLatin1String(name);
      if (QFileInfo::exists(target)) QFile::link(target, d + QLatin1Char('/') + QLatin1String(name));
    }
    // Loaded here first, the library looks for the stub in this folder for
    // the rest of the process, also when a test loads it through a link in a
    // folder of its own that is gone later.
    ::dlopen(QFile::encodeName(d + QStringLiteral("/UnLHA32.DLL")).constData(), RTLD_NOW | RTLD_NODELETE);
    return d;
  }();
  return dir;
}

// A program folder of its own holding links to some of the libraries only.
inline QString ProgramDirWith(const TempTree& tree, const QString& rel, const QStringList& libraries) {
  const QString d = tree.Path(rel);
  QDir().mkpath(d);
  for (const QString& name : libraries) QFile::link(BinDir() + QLatin1Char('/') + name, d + QLatin1Char('/') + name);
  return d;
}

// Records every message box; `react`, when set, is called first and gives
// the answer (0 lets the default answer: OK for boxes with one button,
// a failure of the test for questions).
class WatchedMessageBox final : public lm::MessageBoxSink {
 public:
  WatchedMessageBox() : previous_(lm::CurrentMessageBoxSink()) { lm::SetMessageBoxSink(this); }
  ~WatchedMessageBox() override { lm::SetMessageBoxSink(previous_); }

  int Show(const QString& text, int style, const QString& title) override {
    shown.push_back({text, style, title});
    if (react) {
      if (const int answer = react(text, style)) return answer;
    }
    if ((style & 7) == 0) return lm::button::OK;
    ADD_FAILURE() << "unexpected question: " << text.toStdString();
    return lm::button::Cancel;
  }
  QStringList Texts() const {
    QStringList out;
    for (const auto& b : shown) out << b.text;
    return out;
  }
  std::vector<int> Styles() const {
    std::vector<int> out;
    for (const auto& b : shown) out.push_back(b.style);
    return out;
  }

  struct Box {
    QString text;
    int style;
    QString title;
  };
  std::vector<Box> shown;
  std::function<int(const QString& text, int style)> react;

 private:
  lm::MessageBoxSink* previous_;
};

// Collects the command lines the builders hand to the libraries.
// Also keeps the working folder of the build the commands belong to.
class CommandRecorder {
 public:
  CommandRecorder() {
    lm::SetArchiverCommandTrace([this](const QString& library, const QString& command) {
      libraries << library;
      commands << command;
      work = lm::CurrentBuildWorkDir();
    });
  }
  ~CommandRecorder() { lm::SetArchiverCommandTrace({}); }
  QStringList libraries;
  QStringList commands;
  QString work;
};

// The sample script: a script information file, its DAT tree (with the three
// files the archives leave out, an empty directory and Japanese names),
// attachments inside and outside the script directory, and a file named by
// the extra arguments.
struct SampleScript {
  QString root;        // the temporary tree
  QString scriptDir;   // with its trailing "/"
  QString scriptFile;  // the ugu path
  QString name;        // upper-case script name
  QString datMember;   // the data directory as the archive names it: "SAMPLE/dat" or "dat"
  QString arcDir;      // the archive directory (exists)
  Tree datFiles;       // the files below DAT by their path relative to DAT
  QStringList attachments;
  QString missing;     // the attachment that does not exist
  Tree attachedMembers;  // what the attachments and the extra arguments put into the archive
};

inline SampleScript MakeSampleScript(TempTree& t, bool nonRegular, const QString& scriptFileName,
                                     const QString& arcDirName = QStringLiteral("arc")) {
  SampleScript s;
  s.root = t.Path();
  s.scriptDir = t.Path(QStringLiteral("s")) + QLatin1Char('/');
  s.scriptFile = s.scriptDir + scriptFileName;
  const QString base = scriptFileName.left(scriptFileName.indexOf(QLatin1Char('.')));
  s.name = base.toUpper();
  // On disk the data directory is spelled "DAT" below a directory named like
  // the file; the archive names it as the command does.
  const QString datOnDisk = nonRegular ? QStringLiteral("s/DAT/") : QStringLiteral("s/") + base + QStringLiteral("/DAT/");
  s.datMember = nonRegular ? QStringLiteral("dat") : s.name + QStringLiteral("/dat");
  t.WriteFile(QStringLiteral("s/") + scriptFileName, "[script]\r\nname=sample\r\n");
  s.datFiles = {
      {QStringLiteral("mio00.euu"), QByteArray("proof of the script", 19)},
      {QStringLiteral("ソース.txt"), QByteArray(5000, 'x') + "end"},
      {QStringLiteral("画像/絵 1.bmp"), QByteArray(3000, '\x7f')},
      {QStringLiteral("sub/deep/データ.dat"), QByteArray("deep data")},
      {QStringLiteral("CONVERT.EXA"), QByteArray("convert")},
  };
  for (const auto& [rel, bytes] : s.datFiles) t.WriteFile(datOnDisk + rel, bytes);
  t.MakeDir(datOnDisk + QStringLiteral("空"));
  // Kept by the script platform, never distributed.
  for (const char* kept : {"LASTUPDATE", "UPDATE.LOG", "MIRROR.FET"}) t.WriteFile(datOnDisk + QLatin1String(kept), "kept");

  t.WriteFile(QStringLiteral("s/doc/readme.txt"), "read me " + QByteArray(2000, 'r'));
  t.WriteFile(QStringLiteral("s/図 版/表紙.png"), "cover");
  t.WriteFile(QStringLiteral("外部 資料/添付.txt"), "attached outside");
  t.WriteFile(QStringLiteral("other/manual/a.txt"), "manual a");
  t.WriteFile(QStringLiteral("other/manual/章/手順.txt"), "manual steps");
  t.WriteFile(QStringLiteral("s/extra.txt"), "named by the extra arguments");
  s.missing = t.Path(QStringLiteral("nowhere/missing.txt"));
  s.attachments = {
      s.scriptDir + QStringLiteral("doc/readme.txt"),         // a file inside the script directory
      t.Path(QStringLiteral("外部 資料/添付.txt")),            // a file outside, in a path with a blank
      t.Path(QStringLiteral("other/manual")) + QLatin1Char('/'),  // a directory outside, trailing separator
      s.missing,
      s.scriptDir + QStringLiteral("図 版"),                    // a directory inside
  };
  s.attachedMembers = {
      {QStringLiteral("doc/readme.txt"), "read me " + QByteArray(2000, 'r')},
      {QStringLiteral("添付.txt"), "attached outside"},
      {QStringLiteral("manual/a.txt"), "manual a"},
      {QStringLiteral("manual/章/手順.txt"), "manual steps"},
      {QStringLiteral("図 版/表紙.png"), "cover"},
      {QStringLiteral("extra.txt"), "named by the extra arguments"},
  };
  s.arcDir = t.MakeDir(arcDirName);
  return s;
}

// Makes profile 0 the only profile and the current one, for the sample.
inline lm::Profile& UseSampleProfile(const SampleScript& s, const QString& extraArguments) {
  lmtest::ResetProfiles();
  lm::Profile& p = lm::profileTable[0];
  p.profile = QStringLiteral("  サンプル Script  ");
  p.ugu = QStringLiteral(" ") + s.scriptFile + QStringLiteral(" ");
  p.dirarc = s.arcDir;
  p.namearc = QStringLiteral("sample");
  p.addarc = extraArguments;
  for (int i = 0; i < s.attachments.size(); ++i) p.addfile[i] = s.attachments[i];
  p.addfilecnt = static_cast<int16_t>(s.attachments.size());
  return p;
}

// Every member file the LZH archive of the sample must hold ("/" between
// levels), given the bytes of install.txt.
inline Tree ExpectedMembers(const SampleScript& s, const QByteArray& installTxt) {
  Tree want = s.attachedMembers;
  want[QFileInfo(s.scriptFile).fileName()] = "[script]\r\nname=sample\r\n";
  for (const auto& [rel, bytes] : s.datFiles) want[s.datMember + QLatin1Char('/') + rel] = bytes;
  want[QStringLiteral("install.txt")] = installTxt;
  return want;
}

// The entries of a directory tree whose names are Shift-JIS bytes (as lhasa
// writes them), decoded.
inline Tree TreeFilesCp932(const QString& root) {
  namespace fs = std::filesystem;
  Tree files;
  const fs::path base(QFile::encodeName(root).toStdString());
  for (auto it = fs::recursive_directory_iterator(base); it != fs::recursive_directory_iterator(); ++it) {
    if (!it->is_regular_file()) continue;
    const std::string rel = fs::relative(it->path(), base).string();
    std::ifstream f(it->path(), std::ios::binary);
    EXPECT_TRUE(f.good()) << rel;
    const std::string bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    files[lm::DecodeCp932(QByteArray::fromStdString(rel))] = QByteArray::fromStdString(bytes);
  }
  return files;
}

// Gives the owner every right on a tree that a reader extracted with the
// archive's attributes, so that it can be read and removed.
inline void MakeTreeWritable(const QString& root) {
  namespace fs = std::filesystem;
  const fs::path base(QFile::encodeName(root).toStdString());
  std::error_code ec;
  fs::permissions(base, fs::perms::owner_all, fs::perm_options::add, ec);
  for (auto it = fs::recursive_directory_iterator(base, ec); it != fs::recursive_directory_iterator(); ++it) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
}

// Names of the entries directly in `dir`, hidden ones included.
inline QStringList EntriesOf(const QString& dir) {
  return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// What bsdtar extracts from an LHA or CAB archive, names read as Shift-JIS.
inline Tree ExtractWithBsdtar(const QString& archive, const QString& outDir) {
  QDir().mkpath(outDir);
  const auto r = RunTool(QStringLiteral("bsdtar"), {QStringLiteral("-x"), QStringLiteral("--options"),
                                                    QStringLiteral("hdrcharset=CP932"), QStringLiteral("-f"), archive,
                                                    QStringLiteral("-C"), outDir});
  EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
  return TreeFiles(outDir);
}

// What lhasa extracts (after its own test of every member).
inline Tree ExtractWithLhasa(const QString& archive, const QString& outDir) {
  QDir().mkpath(outDir);
  const auto t = RunTool(QStringLiteral("lhasa"), {QStringLiteral("t"), archive});
  EXPECT_EQ(t.exitCode, 0) << t.out.toStdString();
  const auto r = RunTool(QStringLiteral("lhasa"), {QStringLiteral("xq"), archive}, outDir);
  EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
  MakeTreeWritable(outDir);
  Tree files = TreeFilesCp932(outDir);
  // Qt cannot remove names that are not UTF-8: remove the tree here.
  std::error_code ec;
  std::filesystem::remove_all(QFile::encodeName(outDir).toStdString(), ec);
  return files;
}

// True when `exe` is a 64-bit Windows GUI program (PE32+, x86-64,
// subsystem 2) that starts with the stub of the program folder.
inline bool IsWindowsSelfExtractor(const QByteArray& exe) {
  QFile stubFile(BinDir() + QStringLiteral("/lfsfxw.exe"));
  if (!stubFile.open(QIODevice::ReadOnly)) return false;
  const QByteArray stub = stubFile.readAll();
  auto u16 = [&](qsizetype at) { return at + 2 <= exe.size() ? (uint8_t(exe[at]) | (uint8_t(exe[at + 1]) << 8)) : -1; };
  if (!exe.startsWith("MZ") || exe.size() < 0x40) return false;
  const qsizetype pe = u16(0x3C) | (u16(0x3E) << 16);
  return exe.mid(pe, 4) == QByteArray("PE\0\0", 4) && u16(pe + 4) == 0x8664 && u16(pe + 24) == 0x20B &&
         u16(pe + 24 + 68) == 2 && exe.startsWith(stub);
}

// What the self-extracting file extracts when run unattended. The file is
// the Windows program (run under wine by the self-extractor's own tests);
// here the same archive runs behind the Linux stub, which extracts it by
// the same rules.
inline Tree ExtractWithSelf(const QString& exe, const QString& outDir) {
  QDir().mkpath(outDir);
  QFile in(exe), stub(BinDir() + QStringLiteral("/lfsfx"));
  EXPECT_TRUE(in.open(QIODevice::ReadOnly) && stub.open(QIODevice::ReadOnly));
  const QByteArray bytes = in.readAll();
  EXPECT_TRUE(IsWindowsSelfExtractor(bytes)) << exe.toStdString();
  const std::string native = lhatest::Restub(bytes.toStdString(), stub.readAll().toStdString());
  EXPECT_FALSE(native.empty()) << exe.toStdString();
  const QString linuxExe = outDir + QStringLiteral(".run");
  QFile out(linuxExe);
  EXPECT_TRUE(out.open(QIODevice::WriteOnly) && out.write(native.data(), qint64(native.size())) == qint64(native.size()));
  out.close();
  out.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  const auto r =
      RunTool(linuxExe, {QStringLiteral("--dir"), outDir, QStringLiteral("--yes"), QStringLiteral("--no-open")});
  EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
  QFile::remove(linuxExe);
  return TreeFiles(outDir);
}

// What cabextract extracts from a cabinet.
inline Tree ExtractWithCabextract(const QString& cab, const QString& outDir) {
  QDir().mkpath(outDir);
  const auto r = RunTool(QStringLiteral("cabextract"), {QStringLiteral("-q"), QStringLiteral("-d"), outDir, cab});
  EXPECT_EQ(r.exitCode, 0) << r.out.toStdString();
  return TreeFiles(outDir);
}

// A path as the build puts it on a command line: in quotes when it holds a
// blank or a comma.
inline QString Q(const QString& path) {
  return path.contains(QLatin1Char(' ')) || path.contains(QLatin1Char(',')) ? QLatin1Char('"') + path + QLatin1Char('"')
                                                                            : path;
}

inline const QString kMade = QStringLiteral("配布用アーカイブを作成しました。");
inline const QString kFailed = QStringLiteral("アーカイブ作成中にエラーが発生しました。");

inline QString Missing(const QString& path) {
  return QStringLiteral("下記のファイルが存在しません。") + lm::CR + QStringLiteral("『") + path + QStringLiteral("』");
}

inline QByteArray Sjis(const QString& text) {
  QByteArray out;
  EXPECT_TRUE(lm::EncodeCp932(text, out));
  return out;
}

inline bool Exists(const QString& path) { return QFileInfo::exists(path) || QFileInfo(path).isSymLink(); }

// A build of the sample from the shared program folder, with the message
// boxes watched and the command lines recorded.
class ArchiveBuildTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(HaveLibrary("UnLHA32.DLL") && HaveLibrary("Cab32.DLL") &&
                HaveLibrary("lfsfxw.exe") && HaveLibrary("lfsfx"))
        << "build UnLHA32, Cab32, lfsfxw and lfsfx first";
    prog_ = SharedProgramDir();
    // The shared program folder starts every test clean.
    QFile::remove(prog_ + QStringLiteral("/install.txt"));
    QFile::remove(prog_ + QStringLiteral("/$"));
    QDir(prog_ + QStringLiteral("/temp")).removeRecursively();
    scope_.emplace(prog_);
  }

  QString Arc(const QString& file) const { return sample_.arcDir + QLatin1Char('/') + file; }

  // The staging folder in the archive directory that the recorded build
  // wrote its archives into, found on its first command line.
  QString Staging() const {
    static const QRegularExpression staging(QStringLiteral("^a (\\S+/\\.sample\\.loftmark-build-[A-Za-z0-9]{6})\\\\"));
    const auto m = staging.match(recorder_.commands.value(0));
    return m.hasMatch() ? m.captured(1) : QString();
  }

  // The command lines of a build of the sample, in order: the archives in a
  // staging folder beside their names, install.txt, "$" and the work
  // directory in the build's working folder below the program folder.
  QStringList ExpectedCommands(bool sfx, bool package, const QString& extra) const {
    const QString staging = Staging();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(sample_.arcDir) +
                                   QStringLiteral("/\\.sample\\.loftmark-build-[A-Za-z0-9]{6}$"))
                    .match(staging)
                    .hasMatch())
        << recorder_.commands.value(0).toStdString();
    const QString work = recorder_.work;
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^") + QRegularExpression::escape(prog_) +
                                   QStringLiteral("/builds/build-[A-Za-z0-9]{6}$"))
                    .match(work)
                    .hasMatch())
        << work.toStdString();
    const QString lzh = staging + QStringLiteral("\\sample.lzh");
    const QString d = sample_.scriptDir;
    const QString dat = sample_.datMember == QLatin1String("dat") ? QStringLiteral("dat\\")
                                                                   : sample_.name + QStringLiteral("\\dat\\");
    QStringList c = {
        QStringLiteral("a ") + lzh + QLatin1Char(' ') + d + QStringLiteral(" doc/readme.txt -xr2"),
        QStringLiteral("a ") + lzh + QLatin1Char(' ') + Q(tree_.Path(QStringLiteral("外部 資料/添付.txt"))),
        QStringLiteral("a ") + lzh + QLatin1Char(' ') + tree_.Path(QStringLiteral("other")) +
            QStringLiteral("/ manual\\*.* -xr2"),
        QStringLiteral("a ") + lzh + QLatin1Char(' ') + d + QStringLiteral(" \"図 版\\*.*\" -xr2"),
        QStringLiteral("a ") + lzh + QLatin1Char(' ') + d + QLatin1Char(' ') + extra +
            QFileInfo(sample_.scriptFile).fileName() + QLatin1Char(' ') + dat + QStringLiteral("*.* -xr2"),
        QStringLiteral("a ") + lzh + QLatin1Char(' ') + Q(work) + QStringLiteral("\\install.txt"),
        QStringLiteral("d ") + lzh + QLatin1Char(' ') + dat + QStringLiteral("LASTUPDATE ") + dat +
            QStringLiteral("UPDATE.LOG ") + dat + QStringLiteral("MIRROR.FET"),
    };
    if (sfx) {
      c << QStringLiteral("a ") + lzh + QLatin1Char(' ') + Q(work) + QStringLiteral("\\$")
        << QStringLiteral("s  ") + staging + QStringLiteral("\\sample ") + staging + QStringLiteral("\\ -gw4gx2 -x")
        << QStringLiteral("d ") + lzh + QStringLiteral(" $");
    }
    if (package) {
      c << QStringLiteral("e ") + lzh + QLatin1Char(' ') + Q(work + QStringLiteral("\\temp\\")) +
               QStringLiteral(" *.*  -xr2 -jyc -jyo")
        << QStringLiteral("-a -r ") + staging + QStringLiteral("\\sample.cab ") + Q(work + QStringLiteral("\\temp\\")) +
               QStringLiteral(" *.*");
    }
    return c;
  }

  QString prog_;
  TempTree tree_;
  SampleScript sample_;
  WatchedMessageBox boxes_;
  CommandRecorder recorder_;
  std::optional<ProgramDirScope> scope_;
};

}  // namespace lmtest
