// The archive build from the driver down to the libraries: real sample
// scripts built into every archive type by the real UnLHA32.DLL and
// Cab32.DLL from a program folder whose path holds a blank, the archives read
// back by lhasa, bsdtar, cabextract and the self-extracting file itself.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include "archive/build_driver.h"
#include "archive/build_test_support.h"
#include "archive/install_files.h"
#include "profiles/profile_store.h"
#include "support/temp_tree.h"

namespace {

using lmtest::ArchiveBuildTest;
using lmtest::Exists;
using lmtest::kMade;
using lmtest::Missing;
using lmtest::Sjis;
using lmtest::Tree;

struct TypeCase {
  const char* label;
  QString type;
  bool exe;
  bool qsc;
};

// The ctest names show the type's label instead of the bytes of the case.
void PrintTo(const TypeCase& c, std::ostream* os) { *os << c.label; }

const TypeCase kTypes[] = {
    {"Qsc", QStringLiteral("Quilletｽｸﾘﾌﾟﾄﾊﾟｯｹｰｼﾞ形式(QSC)"), false, true},
    {"Lzh", QStringLiteral("LHA形式(LZH)"), false, false},
    {"Exe", QStringLiteral("LHA自己解凍形式(EXE)"), true, false},
    {"All", QStringLiteral("全ての種類のﾊﾟｯｹｰｼﾞを作成"), true, true},
};

class EveryArchiveType : public ArchiveBuildTest,
                         public ::testing::WithParamInterface<std::tuple<TypeCase, bool>> {};

TEST_P(EveryArchiveType, BuildsArchivesThatIndependentReadersExtractToTheScriptTree) {
  const auto& [type, nonRegular] = GetParam();
  sample_ = lmtest::MakeSampleScript(tree_, nonRegular,
                                     nonRegular ? QStringLiteral("さくらスクリプト.ugu") : QStringLiteral("Sample.ugu"));
  lm::Profile& profile = lmtest::UseSampleProfile(sample_, QStringLiteral("  -o7 extra.txt  "));

  // The temporary files as they stand when the outcome is reported, in the
  // build's working folder.
  QByteArray installTxt;
  bool optionFileWritten = false;
  QString work;
  boxes_.react = [&](const QString& text, int) {
    if (text == kMade) {
      work = lm::CurrentBuildWorkDir();
      QFile f(lm::InstallFilePath());
      if (f.open(QIODevice::ReadOnly)) installTxt = f.readAll();
      optionFileWritten = QFileInfo::exists(lm::SfxOptionsPath());
    }
    return 0;
  };

  lm::BuildArchives(type.type, 0);

  EXPECT_EQ(boxes_.Texts(), QStringList({Missing(sample_.missing), kMade}));
  EXPECT_EQ(boxes_.Styles(), std::vector<int>({0, 0}));
  for (const auto& b : boxes_.shown) EXPECT_EQ(b.title, QStringLiteral("Loftmark"));
  EXPECT_EQ(recorder_.commands, ExpectedCommands(type.exe, type.qsc, QStringLiteral("-o7 extra.txt ")));

  EXPECT_EQ(installTxt, Sjis(QStringLiteral("type,script\r\nname,サンプル Script\r\ndirectory,") + sample_.name +
                             QStringLiteral("\r\nrefresh,1\r\n")));
  EXPECT_EQ(optionFileWritten, type.exe);

  const Tree want = lmtest::ExpectedMembers(sample_, installTxt);
  const QString out = tree_.Path(QStringLiteral("out"));
  EXPECT_EQ(lmtest::ExtractWithBsdtar(Arc(QStringLiteral("sample.lzh")), out + QStringLiteral("/bsdtar")), want);
  EXPECT_TRUE(QFileInfo(out + QStringLiteral("/bsdtar/") + sample_.datMember + QStringLiteral("/空")).isDir());
  EXPECT_EQ(lmtest::ExtractWithLhasa(Arc(QStringLiteral("sample.lzh")), out + QStringLiteral("/lhasa")), want);

  // The extra arguments reach the library: "-o7" packs the files of the
  // script-tree command with -lh7-; the attachments keep -lh5-. (lhasa shows
  // Japanese names as "?": the data file is found by its size.)
  const auto listing = lmtest::RunTool(QStringLiteral("lhasa"), {QStringLiteral("v"), Arc(QStringLiteral("sample.lzh"))});
  bool sawLh7 = false, sawLh5 = false;
  for (const QByteArray& line : listing.out.split('\n')) {
    if (line.contains(" 5003 ")) sawLh7 = line.contains("-lh7-");
    if (line.contains("doc/readme.txt")) sawLh5 = line.contains("-lh5-");
  }
  EXPECT_TRUE(sawLh7 && sawLh5) << listing.out.toStdString();

  EXPECT_EQ(Exists(Arc(QStringLiteral("sample.exe"))), type.exe);
  if (type.exe) {
    EXPECT_EQ(lmtest::ExtractWithSelf(Arc(QStringLiteral("sample.exe")), out + QStringLiteral("/self")), want);
  }
  EXPECT_EQ(Exists(Arc(QStringLiteral("sample.qsc"))), type.qsc);
  if (type.qsc) {
    EXPECT_EQ(lmtest::ExtractWithCabextract(Arc(QStringLiteral("sample.qsc")), out + QStringLiteral("/cab")), want);
  }
  // The working folder went with the build.
  EXPECT_TRUE(work.startsWith(prog_ + QStringLiteral("/builds/build-"))) << work.toStdString();
  EXPECT_FALSE(Exists(work));
  EXPECT_EQ(lmtest::EntriesOf(prog_ + QStringLiteral("/builds")), QStringList());
  EXPECT_FALSE(Exists(prog_ + QStringLiteral("/temp")));
  EXPECT_FALSE(Exists(Arc(QStringLiteral("sample.cab"))));
  EXPECT_EQ(lmtest::EntriesOf(sample_.arcDir).size(), 1 + int(type.exe) + int(type.qsc));
  EXPECT_FALSE(Exists(prog_ + QStringLiteral("/install.txt")));
  EXPECT_FALSE(Exists(prog_ + QStringLiteral("/$")));

  // The directory attachment given with a trailing separator is stored back
  // without it; the others are unchanged.
  EXPECT_EQ(profile.addfile[2], tree_.Path(QStringLiteral("other/manual")));
  EXPECT_EQ(profile.addfile[4], sample_.attachments[4]);
}

INSTANTIATE_TEST_SUITE_P(
    Types, EveryArchiveType, ::testing::Combine(::testing::ValuesIn(kTypes), ::testing::Bool()),
    [](const auto& test) {
      return std::string(std::get<0>(test.param).label) + (std::get<1>(test.param) ? "NonRegular" : "Regular");
    });

}  // namespace
