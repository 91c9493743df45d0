// The .exe that "全ての種類のﾊﾟｯｹｰｼﾞを作成" writes, from the build driver
// down to the libraries, run under wine: the sample script with its
// attachments, Japanese names and empty folder arrives byte for byte.
#include <QFile>
#include <gtest/gtest.h>

#include "archive/build_driver.h"
#include "archive/build_test_support.h"
#include "archive/install_files.h"
#include "wine_support.h"

namespace {

using lmtest::ArchiveBuildTest;

class WineBuiltExe : public ArchiveBuildTest {};

TEST_F(WineBuiltExe, TheAllTypesBuildWritesAnInstallerThatExtractsTheScriptUnderWine) {
  sample_ = lmtest::MakeSampleScript(tree_, false, QStringLiteral("Sample.ugu"));
  lmtest::UseSampleProfile(sample_, QStringLiteral("  -o7 extra.txt  "));
  QByteArray installTxt;
  boxes_.react = [&](const QString& text, int) {
    if (text == lmtest::kMade) {
      QFile f(lm::InstallFilePath());  // in the build's own working folder
      if (f.open(QIODevice::ReadOnly)) installTxt = f.readAll();
    }
    return 0;
  };
  lm::BuildArchives(QStringLiteral("全ての種類のﾊﾟｯｹｰｼﾞを作成"), 0);
  ASSERT_EQ(boxes_.Texts().last(), lmtest::kMade);

  const QString exe = Arc(QStringLiteral("sample.exe"));
  QFile f(exe);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_TRUE(lmtest::IsWindowsSelfExtractor(f.readAll()));
  const auto file = lmtest::RunTool(QStringLiteral("file"), {QStringLiteral("-b"), exe});
  EXPECT_TRUE(file.out.startsWith("PE32+ executable (GUI) x86-64")) << file.out.toStdString();

  const QString out = tree_.Path(QStringLiteral("wine out"));
  const auto r = winetest::RunExe(exe.toStdString(), "/S " + winetest::Quote("/D=" + winetest::WinPath(out.toStdString())));
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(lmtest::TreeFiles(out), lmtest::ExpectedMembers(sample_, installTxt));
  EXPECT_TRUE(QFileInfo(out + QStringLiteral("/") + sample_.datMember + QStringLiteral("/空")).isDir());
}

}  // namespace
