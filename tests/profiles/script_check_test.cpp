#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <unistd.h>

#include "profiles/script_check.h"
#include "support/temp_tree.h"
#include "support/unprivileged.h"
#include "util/message_box.h"

namespace {

using lm::CR;

QString Br(const QString& p) { return QStringLiteral("『") + p + QStringLiteral("』"); }

const QString kMissing1 = QStringLiteral("スクリプト情報ファイル（UGU/PSNファイル）が存在しません。");
const QString kMissing2 = QStringLiteral("または、選択されていません。");
const QString kNoDot = QStringLiteral("選択されたファイルはスクリプト情報ファイル（UGU/PSNファイル）ではありません。");
const QString kBadExt1 = QStringLiteral("選択されたファイルの拡張子は、");
const QString kBadExt2 = QStringLiteral("スクリプト情報ファイル（UGU/PSNファイル）のものではありません。");
const QString kInvalid = QStringLiteral("このスクリプト情報ファイル（UGU/PSNファイル）は有効ではありません。");
const QString kNotFound = QStringLiteral("スクリプト情報ファイルの検証過程で、下記のファイルを発見できませんでした。");

QString InvalidMessage(const QString& path, const QString& first, const QString& second = QString()) {
  QString m = kInvalid + CR + Br(path) + CR + CR + kNotFound + CR + Br(first);
  if (!second.isEmpty()) m += CR + Br(second);
  return m;
}

TEST(ScriptCheck, DirOf) {
  EXPECT_EQ(lm::DirOf(QStringLiteral("C:\\s\\a.ugu")), QStringLiteral("C:\\s\\"));
  EXPECT_EQ(lm::DirOf(QStringLiteral("/home/u/a.ugu")), QStringLiteral("/home/u/"));
  EXPECT_EQ(lm::DirOf(QStringLiteral("a.ugu")), QStringLiteral("a.ugu"));
  EXPECT_EQ(lm::DirOf(QStringLiteral("/x\\y/z")), QStringLiteral("/x\\y/"));
  QString out = QStringLiteral("junk");
  lm::DirOf(QString(), out);
  EXPECT_EQ(out, QString());
}

TEST(ScriptCheck, ScriptNameOf) {
  struct Case {
    const char* path;
    int status;
    const char* name;
  } cases[] = {
      {"C:\\s\\AB.UGU", -9, "AB"},     {"C:\\s\\abc.psn", 0, "ABC"},     {"ABC.UGU", -9, ""},
      {"C:\\s\\A.UGU", -9, "A"},       {"C:\\s\\.UGU", -9, ""},          {"C:\\s\\abcd", -9, ""},
      {"/s/sample.v2.ugu", -9, "SAMPLE"}, {"/s/sample.ugu", 0, "SAMPLE"}, {"/s/abc.txt", -9, "ABC"},
      {"/s/abc", -9, ""},              {"/s/abcde", -9, "ABCDE"},        {"/s.d/readme", -9, "README"},
      {"C:\\s\\Mixed.Ugu", 0, "MIXED"},
  };
  for (const Case& c : cases) {
    QString out = QStringLiteral("junk");
    EXPECT_EQ(lm::ScriptNameOf(QString::fromUtf8(c.path), out), c.status) << c.path;
    EXPECT_EQ(out, QString::fromUtf8(c.name)) << c.path;
  }
}

TEST(ScriptCheck, DatDirOf) {
  EXPECT_EQ(lm::DatDirOf(QStringLiteral("C:\\s\\sample.ugu"), 0), QStringLiteral("C:\\s\\SAMPLE\\DAT\\"));
  EXPECT_EQ(lm::DatDirOf(QStringLiteral("C:\\s\\sample.ugu"), 1), QStringLiteral("C:\\s\\DAT\\"));
  EXPECT_EQ(lm::DatDirOf(QStringLiteral("/s/Sample.V2.psn"), 0), QStringLiteral("/s/SAMPLE/DAT/"));
  EXPECT_EQ(lm::DatDirOf(QStringLiteral("/s/sample.ugu"), 1), QStringLiteral("/s/DAT/"));
}

TEST(ScriptCheck, CanOpenFile) {
  lmtest::TempTree t;
  t.WriteFile("f.txt", "x");
  t.MakeDir("d");
  EXPECT_TRUE(lm::CanOpenFile(t.Path("f.txt")));
  EXPECT_TRUE(lm::CanOpenFile(t.Path("F.TXT")));  // found without regard to case
  EXPECT_TRUE(lm::CanOpenFile(t.Path() + QStringLiteral("\\f.txt")));
  EXPECT_FALSE(lm::CanOpenFile(t.Path("d")));
  EXPECT_FALSE(lm::CanOpenFile(t.Path("missing")));
  EXPECT_FALSE(lm::CanOpenFile(QString()));
}

TEST(ScriptCheck, UnreadableFileCannotBeOpened) {
  lmtest::TempTree t;
  const QString p = t.WriteFile("secret.ugu", "x");
  const QString readable = t.WriteFile("open.ugu", "x");
  ASSERT_EQ(::chmod(QFile::encodeName(p).constData(), 0), 0);
  // As an ordinary user (root reads any file).
  lmtest::RunUnprivileged({t.Path()}, [&] {
    EXPECT_FALSE(lm::CanOpenFile(p));
    EXPECT_TRUE(lm::CanOpenFile(readable));
  });
}

struct Layout {
  const char* file;            // the script information file, relative
  std::vector<const char*> present;  // proof files created, relative
  int status;
  int nonRegular;
};

TEST(ScriptCheck, LayoutsAndStatuses) {
  const Layout cases[] = {
      // regular UGU layout, case variants of the directory names
      {"s/SAMPLE.UGU", {"s/SAMPLE/DAT/mio00.euu"}, 0, 0},
      {"s/sample.ugu", {"s/SAMPLE/DAT/mio00.euu"}, 0, 0},
      {"s/SAMPLE.UGU", {"s/sample/dat/MIO00.EUU"}, 0, 0},
      {"s/Sample.Ugu", {"s/sample/Dat/mio00.euu"}, 0, 0},
      // non-regular: DAT beside the file
      {"s/SAMPLE.UGU", {"s/DAT/mio00.euu"}, 0, 1},
      {"s/SAMPLE.UGU", {"s/dat/mio00.euu"}, 0, 1},
      // both present: the regular layout wins
      {"s/SAMPLE.UGU", {"s/DAT/mio00.euu", "s/SAMPLE/DAT/mio00.euu"}, 0, 0},
      // PSN: only the regular layout
      {"s/SAMPLE.PSN", {"s/SAMPLE/DAT/aya00.out"}, 0, 0},
      {"s/sample.psn", {"s/sample/dat/aya00.out"}, 0, 0},
      {"s/SAMPLE.PSN", {"s/DAT/aya00.out"}, -2, 0},
      // the wrong proof file for the extension
      {"s/SAMPLE.PSN", {"s/SAMPLE/DAT/mio00.euu"}, -2, 0},
      {"s/SAMPLE.UGU", {"s/SAMPLE/DAT/aya00.out"}, -2, 0},
      // the extension comes from the whole path, the name from the file before its first dot
      {"s/SAMPLE.V2.UGU", {"s/SAMPLE/DAT/mio00.euu"}, 0, 0},
      // a one-letter name is still looked up
      {"s/A.UGU", {"s/A/DAT/mio00.euu"}, 0, 0},
      // a file named .UGU: the regular proof has two separators in a row, which the
      // file system reads as one, so it reaches the DAT beside the file
      {"s/.UGU", {"s/DAT/mio00.euu"}, 0, 0},
      // a directory where the proof file should be does not count
      {"s/SAMPLE.UGU", {"s/SAMPLE/DAT/mio00.euu/"}, -2, 0},
  };
  for (const Layout& c : cases) {
    lmtest::TempTree t;
    const QString file = t.WriteFile(QString::fromUtf8(c.file), "info");
    for (const char* rel : c.present) {
      const QString r = QString::fromUtf8(rel);
      if (r.endsWith(QLatin1Char('/'))) {
        t.MakeDir(r.chopped(1));
      } else {
        t.WriteFile(r, "proof");
      }
    }
    QString message = QStringLiteral("stale");
    int16_t nonRegular = 7;
    EXPECT_EQ(lm::CheckScriptFile(file, message, nonRegular), c.status) << c.file;
    EXPECT_EQ(nonRegular, c.nonRegular) << c.file;
    if (c.status == 0) {
      EXPECT_EQ(message, QString()) << c.file;
    }
  }
}

// The layout handed to the operations names the DAT folder the check
// accepted, and the check's status and message come through unchanged.
TEST(ScriptCheck, LayoutOfACheckedScript) {
  struct Case {
    const char* file;
    const char* proof;
    int status;
    int nonRegular;
    const char* name;
    const char* datDir;  // relative, with its separator; "" when the check failed
  } cases[] = {
      {"s/Sample.ugu", "s/SAMPLE/DAT/mio00.euu", 0, 0, "SAMPLE", "s/SAMPLE/DAT/"},
      {"s/Sample.ugu", "s/DAT/mio00.euu", 0, 1, "SAMPLE", "s/DAT/"},
      {"s/GAME.PSN", "s/GAME/DAT/aya00.out", 0, 0, "GAME", "s/GAME/DAT/"},
      {"s/GAME.PSN", "s/DAT/aya00.out", -2, 0, "GAME", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    lmtest::TempTree t;
    const QString file = t.WriteFile(QString::fromUtf8(c.file), "info");
    t.WriteFile(QString::fromUtf8(c.proof), "proof");
    QString expectedMessage;
    int16_t expectedNonRegular = 0;
    const int16_t expectedStatus = lm::CheckScriptFile(file, expectedMessage, expectedNonRegular);

    lm::ScriptLayout layout;
    QString message = QStringLiteral("stale");
    EXPECT_EQ(lm::CheckScriptLayout(file, layout, message), c.status);
    EXPECT_EQ(expectedStatus, c.status);
    EXPECT_EQ(message, expectedMessage);
    EXPECT_EQ(layout.nonRegular, c.nonRegular);
    EXPECT_EQ(layout.scriptPath, file);
    EXPECT_EQ(layout.folder, t.Path(QStringLiteral("s")) + QLatin1Char('/'));
    EXPECT_EQ(layout.name, QString::fromUtf8(c.name));
    if (c.status != 0) continue;
    // The proof file lies in the named folder (whatever the letter case on disk).
    EXPECT_EQ(layout.datDir.toUpper(), t.Path(QString::fromUtf8(c.datDir)).toUpper());
    EXPECT_TRUE(lm::CanOpenFile(layout.datDir + QFileInfo(QString::fromUtf8(c.proof)).fileName()));
    EXPECT_EQ(layout.indexPath, layout.datDir + QStringLiteral("index.fet"));
    const lm::ScriptLayout again = lm::LayoutOf(file, layout.nonRegular);
    EXPECT_EQ(again.datDir, layout.datDir);
    EXPECT_EQ(again.indexPath, layout.indexPath);
  }
}

TEST(ScriptCheck, MissingFileMessages) {
  lmtest::TempTree t;
  for (const QString& path : {QString(), t.Path("s/none.ugu"), t.Path("s")}) {
    t.MakeDir("s");
    QString message;
    int16_t nonRegular = 7;
    EXPECT_EQ(lm::CheckScriptFile(path, message, nonRegular), -1);
    EXPECT_EQ(message, kMissing1 + CR + kMissing2 + CR + Br(path));
    EXPECT_EQ(nonRegular, 7);  // not touched when the file cannot be opened
  }
}

TEST(ScriptCheck, WrongKindOfFileMessages) {
  lmtest::TempTree t;
  const QString noDot = t.WriteFile("s/readme", "x");
  const QString dotInDir = t.WriteFile("s.d/readme", "x");
  const QString txt = t.WriteFile("s/SAMPLE.TXT", "x");
  t.WriteFile("s/SAMPLE/DAT/mio00.euu", "x");

  QString message;
  int16_t nonRegular = 7;
  // The temporary directory's own path may hold a dot; only test the no-dot case when it does not.
  if (!noDot.contains(QLatin1Char('.'))) {
    EXPECT_EQ(lm::CheckScriptFile(noDot, message, nonRegular), -2);
    EXPECT_EQ(message, kNoDot + CR + Br(noDot));
    EXPECT_EQ(nonRegular, 7);
  }
  EXPECT_EQ(lm::CheckScriptFile(dotInDir, message, nonRegular), -2);
  EXPECT_EQ(message, kBadExt1 + CR + kBadExt2 + CR + Br(dotInDir));
  EXPECT_EQ(nonRegular, 0);
  EXPECT_EQ(lm::CheckScriptFile(txt, message, nonRegular), -2);
  EXPECT_EQ(message, kBadExt1 + CR + kBadExt2 + CR + Br(txt));
}

TEST(ScriptCheck, NoDotAnywhereInRelativePath) {
  lmtest::TempTree t;
  t.WriteFile("readme", "x");
  const QString saved = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(t.Path()));
  QString message;
  int16_t nonRegular = 7;
  EXPECT_EQ(lm::CheckScriptFile(QStringLiteral("readme"), message, nonRegular), -2);
  EXPECT_EQ(message, kNoDot + CR + Br(QStringLiteral("readme")));
  EXPECT_EQ(nonRegular, 7);
  QDir::setCurrent(saved);
}

TEST(ScriptCheck, ProofFilesNamedInTheMessage) {
  lmtest::TempTree t;
  const QString root = t.Path();
  const QString psn = t.WriteFile("s/SAMPLE.PSN", "x");
  t.WriteFile("s/DAT/aya00.out", "x");
  QString message;
  int16_t nonRegular = 7;
  EXPECT_EQ(lm::CheckScriptFile(psn, message, nonRegular), -2);
  EXPECT_EQ(message, InvalidMessage(psn, root + QStringLiteral("/s/SAMPLE/DAT/aya00.out")));
  EXPECT_EQ(nonRegular, 0);

  // A lower-case file name: the proof path uses the upper-cased script name.
  const QString ugu = t.WriteFile("u/sample.ugu", "x");
  EXPECT_EQ(lm::CheckScriptFile(ugu, message, nonRegular), -2);
  EXPECT_EQ(message, InvalidMessage(ugu, root + QStringLiteral("/u/SAMPLE/DAT/mio00.euu"),
                                    root + QStringLiteral("/u/DAT/mio00.euu")));

  // A file named .UGU: two separators in a row in the regular proof path.
  const QString bare = t.WriteFile("v/.UGU", "x");
  EXPECT_EQ(lm::CheckScriptFile(bare, message, nonRegular), -2);
  EXPECT_EQ(message, InvalidMessage(bare, root + QStringLiteral("/v//DAT/mio00.euu"),
                                    root + QStringLiteral("/v/DAT/mio00.euu")));
}

TEST(ScriptCheck, BackslashPathsKeepTheirSeparatorStyle) {
  lmtest::TempTree t;
  t.WriteFile("s/sample.ugu", "x");
  t.WriteFile("s/sample/dat/mio00.euu", "x");
  QString win = t.Path("s/sample.ugu");
  win.replace(QLatin1Char('/'), QLatin1Char('\\'));
  QString message;
  int16_t nonRegular = 7;
  EXPECT_EQ(lm::CheckScriptFile(win, message, nonRegular), 0);
  EXPECT_EQ(nonRegular, 0);

  QString missing = t.Path("s/other.psn");
  t.WriteFile("s/other.psn", "x");
  missing.replace(QLatin1Char('/'), QLatin1Char('\\'));
  EXPECT_EQ(lm::CheckScriptFile(missing, message, nonRegular), -2);
  QString dir = t.Path("s/");
  dir.replace(QLatin1Char('/'), QLatin1Char('\\'));
  EXPECT_EQ(message, InvalidMessage(missing, dir + QStringLiteral("OTHER\\DAT\\aya00.out")));
}

}  // namespace
