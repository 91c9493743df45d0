// The sample scripts under examples/ that the README's first steps use: both
// layouts pass the script check and build every archive type, read back by
// independent readers.
#include <filesystem>

#include <gtest/gtest.h>

#include "archive/build_driver.h"
#include "archive/build_test_support.h"
#include "profiles/script_check.h"

namespace {

using lmtest::kMade;

class ExampleScripts : public lmtest::ArchiveBuildTest {
 protected:
  // A copy of examples/scripts, so that a build writes nothing into the source tree.
  QString CopyExamples() {
    const std::filesystem::path from = std::filesystem::path(LM_SOURCE_DIR) / "examples" / "scripts";
    const std::filesystem::path to = QFile::encodeName(tree_.Path(QStringLiteral("examples"))).toStdString();
    std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
    return tree_.Path(QStringLiteral("examples"));
  }
};

TEST_F(ExampleScripts, BothLayoutsPassTheCheckAndBuildEveryArchive) {
  const QString root = CopyExamples();
  struct Case {
    const char* script;
    int16_t nonRegular;
    const char* proofMember;  // the proof file as the archive names it
  } cases[] = {
      {"Sample.ugu", 0, "SAMPLE/dat/mio00.euu"},
      {"beside/Beside.ugu", 1, "dat/mio00.euu"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    const QString script = root + QLatin1Char('/') + QLatin1String(c.script);
    QString message;
    int16_t nonRegular = -1;
    ASSERT_EQ(lm::CheckScriptFile(script, message, nonRegular), 0) << message.toStdString();
    EXPECT_EQ(nonRegular, c.nonRegular);

    lmtest::ResetProfiles();
    lm::Profile& p = lm::profileTable[0];
    p.profile = QStringLiteral("サンプル");
    p.ugu = script;
    p.dirarc = tree_.MakeDir(QStringLiteral("dist/") + QString::number(c.nonRegular));
    p.namearc = QStringLiteral("sample");
    boxes_.shown.clear();
    lm::BuildArchives(lm::kArchiveTypeAll, 0);
    ASSERT_EQ(boxes_.Texts(), QStringList{kMade});

    const QString lzh = p.dirarc + QStringLiteral("/sample.lzh");
    const lmtest::Tree members = lmtest::ExtractWithBsdtar(lzh, tree_.Path(QStringLiteral("out/lzh") + QString::number(c.nonRegular)));
    bool proofFound = false;
    for (const auto& [name, bytes] : members) {
      if (name.compare(QLatin1String(c.proofMember), Qt::CaseInsensitive) == 0) proofFound = true;
    }
    EXPECT_TRUE(proofFound);
    EXPECT_EQ(members.count(QStringLiteral("install.txt")), 1u);
    EXPECT_EQ(lmtest::ExtractWithCabextract(p.dirarc + QStringLiteral("/sample.qsc"),
                                            tree_.Path(QStringLiteral("out/qsc") + QString::number(c.nonRegular))),
              members);
    EXPECT_TRUE(lmtest::Exists(p.dirarc + QStringLiteral("/sample.exe")));
  }
}

}  // namespace
