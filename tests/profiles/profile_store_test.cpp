#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>

#include "profiles/profile_store.h"
#include "support/empty_profiles.h"
#include "support/scripted_message_box.h"
#include "support/temp_tree.h"
#include "support/unprivileged.h"
#include "util/app_globals.h"
#include "util/scoped_env.h"
#include "util/text_file.h"

namespace {

QByteArray Sjis(const QStringList& lines) {
  QByteArray out;
  for (const QString& l : lines) {
    QByteArray enc;
    EXPECT_TRUE(lm::EncodeCp932(l, enc)) << l.toStdString();
    out += enc + "\r\n";
  }
  return out;
}

class ProfileStore : public ::testing::Test {
 protected:
  void SetUp() override {
    lm::SetExecutableDirForTesting(prog_.Path());
    lm::programDir = prog_.Path();  // saving without a load first writes here too
    lmtest::ResetProfiles();
  }
  void TearDown() override { lm::SetExecutableDirForTesting(QString()); }

  // A script with the regular layout; returns the path of its UGU file.
  QString MakeScript(const QString& dir, const QString& name) {
    scripts_.WriteFile(dir + QLatin1Char('/') + name.toUpper() + QStringLiteral("/DAT/mio00.euu"), "m");
    return scripts_.WriteFile(dir + QLatin1Char('/') + name + QStringLiteral(".ugu"), "u");
  }
  void WriteIni(const QByteArray& bytes) { prog_.WriteFile("lfup.ini", bytes); }
  QByteArray Ini() const { return prog_.ReadFile("lfup.ini"); }

  lmtest::TempTree prog_;
  lmtest::TempTree scripts_;
  lmtest::ScriptedMessageBox boxes_;
};

TEST(ProfilePaths, FileNameDriveExtension) {
  struct Case {
    const char* path;
    const char* name;
    const char* drive;
    const char* ext;
  } cases[] = {
      {"C:\\a\\b.ugu", "b.ugu", "C:\\", "ugu"},
      {"b.ugu", "b.ugu", "b.ugu", "ugu"},
      {"C:", "C:", "C:", "C:"},
      {"C:\\a.b\\c", "c", "C:\\", "b\\c"},
      {"C:\\a\\b", "b", "C:\\", "C:\\a\\b"},
      {"/home/u/x.psn", "x.psn", "/", "psn"},
      {"dir/sub\\f", "f", "dir/", "dir/sub\\f"},
      {"", "", "", ""},
  };
  for (const Case& c : cases) {
    QString out;
    lm::FileNameOf(QString::fromUtf8(c.path), out);
    EXPECT_EQ(out, QString::fromUtf8(c.name)) << c.path;
    lm::DriveOf(QString::fromUtf8(c.path), out);
    EXPECT_EQ(out, QString::fromUtf8(c.drive)) << c.path;
    lm::ExtensionOf(QString::fromUtf8(c.path), out);
    EXPECT_EQ(out, QString::fromUtf8(c.ext)) << c.path;
  }
}

TEST(ProfilePaths, TrimBlanksRemovesSpacesAndIdeographicSpaces) {
  EXPECT_EQ(lm::TrimBlanks(QStringLiteral(" \u3000a b\u3000 ")), QStringLiteral("a b"));
  EXPECT_EQ(lm::TrimBlanks(QStringLiteral("\u3000\u3000")), QString());
  EXPECT_EQ(lm::TrimBlanks(QStringLiteral("\ta\t")), QStringLiteral("\ta\t"));
}

TEST(ProfilePaths, SplitKeyedLine) {
  QString key = QStringLiteral("k");
  QString value = QStringLiteral("v");
  int16_t index = 9;
  EXPECT_EQ(lm::SplitKeyedLine(QStringLiteral("UGU(007)=  C:\\x y  "), key, index, value), 0);
  EXPECT_EQ(key, QStringLiteral("UGU"));
  EXPECT_EQ(index, 7);
  EXPECT_EQ(value, QStringLiteral("C:\\x y"));
  // The two characters between index and value are not examined.
  EXPECT_EQ(lm::SplitKeyedLine(QStringLiteral("ugu(012];v"), key, index, value), 0);
  EXPECT_EQ(index, 12);
  EXPECT_EQ(value, QStringLiteral("v"));
  EXPECT_EQ(lm::SplitKeyedLine(QStringLiteral("ugu(100)="), key, index, value), 0);
  EXPECT_EQ(value, QString());
  EXPECT_EQ(index, 100);
  // Not of the keyed form: outputs stay as they were.
  for (const char* bad : {"", "(000)=x", "ugu=x", "ugu(1)=x", "ugu(0a0)=x", "ugu(-01)=x", "ugu( 01)=x",
                          "ugu(1000)=x", "ugu=/a(001)/b.ugu",
                          "ugu=C:\\a(1)\\b.ugu"}) {
    key = QStringLiteral("k");
    value = QStringLiteral("v");
    index = 9;
    EXPECT_EQ(lm::SplitKeyedLine(QString::fromUtf8(bad), key, index, value), -1) << bad;
    EXPECT_EQ(key, QStringLiteral("k"));
    EXPECT_EQ(value, QStringLiteral("v"));
    EXPECT_EQ(index, 9);
  }
}

// The current profile is one in use or none: an index below 0 (an empty
// list's selection), beyond the last profile in use or beyond the table
// gives none.
TEST_F(ProfileStore, CurrentProfileIsAProfileInUseOrNone) {
  lm::lastProfile = 3;
  struct Case {
    int16_t current;
    int expected;  // the table index, or -1 for none
  };
  const Case cases[] = {{-1, -1}, {0, 0}, {2, 2}, {3, 3}, {4, -1}, {lm::kProfileCapacity, -1}, {-2, -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.current);
    lm::currentProfile = c.current;
    if (c.expected < 0) {
      EXPECT_EQ(lm::CurrentProfile(), nullptr);
    } else {
      EXPECT_EQ(lm::CurrentProfile(), &lm::profileTable[static_cast<size_t>(c.expected)]);
    }
  }
}

TEST_F(ProfileStore, NoSettingsFileGivesDefault) {
  lm::profileTable[0].ugu = QStringLiteral("stale");
  lm::profileTable[0].addfilecnt = 3;
  lm::currentProfile = 4;
  lm::lastProfile = 4;
  lm::LoadProfiles();
  EXPECT_EQ(lm::programDir, prog_.Path());
  EXPECT_EQ(lm::lastProfile, 0);
  EXPECT_EQ(lm::currentProfile, 0);
  EXPECT_EQ(lm::profileTable[0].profile, QStringLiteral("Default"));
  EXPECT_EQ(lm::profileTable[0].ugu, QString());
  EXPECT_EQ(lm::profileTable[0].addfilecnt, 0);
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(ProfileStore, UploadKeysAreKeptAndWrittenOnlyWhenSet) {
  const QString ugu = MakeScript(QStringLiteral("up"), QStringLiteral("UP"));
  const QStringList withKeys = {
      QStringLiteral("profile(000)=up"),       QStringLiteral("ugu(000)=") + ugu,
      QStringLiteral("namearc(000)="),         QStringLiteral("dirarc(000)="),
      QStringLiteral("addarc(000)="),          QStringLiteral("addfilecnt(000)=0"),
      QStringLiteral("default(000)=1"),        QStringLiteral("exewintitle(000)="),
      QStringLiteral("exeviewdir(000)="),      QStringLiteral("autoview(000)="),
      QStringLiteral("server(000)=ftps://ftp.example.jp:990"),
      QStringLiteral("userid(000)=me"),        QStringLiteral("password(000)="),
      QStringLiteral("dirserver(000)=/pub/dat"),
      QStringLiteral("servercert(000)=AB:CD:EF"),
      QStringLiteral("keyring(000)=1"),
  };
  WriteIni(Sjis(withKeys));
  lm::LoadProfiles();
  EXPECT_EQ(lm::profileTable[0].servercert, QStringLiteral("AB:CD:EF"));
  EXPECT_EQ(lm::profileTable[0].keyring, QStringLiteral("1"));
  lm::SaveProfiles();
  EXPECT_EQ(Ini(), Sjis(withKeys));
  // Without them the file is exactly what older versions wrote.
  lm::profileTable[0].servercert.clear();
  lm::profileTable[0].keyring.clear();
  lm::SaveProfiles();
  EXPECT_EQ(Ini(), Sjis(withKeys.mid(0, withKeys.size() - 2)));
}

TEST_F(ProfileStore, RoundTripIsByteForByte) {
  const QString ugu1 = MakeScript(QStringLiteral("一"), QStringLiteral("SAMPLE"));
  const QString ugu2 = MakeScript(QStringLiteral("two"), QStringLiteral("other"));
  const QString dist = scripts_.MakeDir(QStringLiteral("配布"));
  scripts_.WriteFile(QStringLiteral("配布/keep.txt"), "k");
  const QStringList canonical = {
      QStringLiteral("profile(000)=サンプル スクリプト"),
      QStringLiteral("ugu(000)=") + ugu1,
      QStringLiteral("namearc(000)=sample"),
      QStringLiteral("dirarc(000)=") + dist,
      QStringLiteral("addarc(000)=-jf0"),
      QStringLiteral("addfilecnt(000)=2"),
      QStringLiteral("addfile(000)=000/home/u/読んでね.txt"),
      QStringLiteral("addfile(000)=001/home/u/extra"),
      QStringLiteral("default(000)=1"),
      QStringLiteral("exewintitle(000)=ｻﾝﾌﾟﾙ setup"),
      QStringLiteral("exeviewdir(000)=C:\\Sample"),
      QStringLiteral("autoview(000)=読んでね.txt"),
      QStringLiteral("server(000)=ftp.example.jp"),
      QStringLiteral("userid(000)=me"),
      QStringLiteral("password(000)=p=a(s)s"),
      QStringLiteral("dirserver(000)=/pub"),
      QStringLiteral("profile(001)=Other"),
      QStringLiteral("ugu(001)=") + ugu2,
      QStringLiteral("namearc(001)="),
      QStringLiteral("dirarc(001)="),
      QStringLiteral("addarc(001)="),
      QStringLiteral("addfilecnt(001)=0"),
      QStringLiteral("default(001)=0"),
      QStringLiteral("exewintitle(001)="),
      QStringLiteral("exeviewdir(001)="),
      QStringLiteral("autoview(001)="),
      QStringLiteral("server(001)="),
      QStringLiteral("userid(001)="),
      QStringLiteral("password(001)="),
      QStringLiteral("dirserver(001)="),
  };
  // The same file with comments, blank lines and legacy lines mixed in.
  QStringList decorated = canonical;
  decorated.insert(0, QStringLiteral("# Loftmark settings"));
  decorated.insert(5, QStringLiteral("   # indented comment ugu(000)=/nowhere"));
  decorated.insert(9, QString());
  decorated.insert(12, QStringLiteral("ugu=/legacy/ignored.ugu"));  // profile 0 already has a script
  decorated.append(QStringLiteral("addarc=legacy"));                // fills nothing: addarc(000) is set
  WriteIni(Sjis(decorated));

  lm::LoadProfiles();
  ASSERT_EQ(lm::lastProfile, 1);
  EXPECT_EQ(lm::profileTable[0].profile, QStringLiteral("サンプル スクリプト"));
  EXPECT_EQ(lm::profileTable[0].ugu, ugu1);
  EXPECT_EQ(lm::profileTable[0].addfilecnt, 2);
  EXPECT_EQ(lm::profileTable[0].addfile[1], QStringLiteral("/home/u/extra"));
  EXPECT_EQ(lm::profileTable[0].addarc, QStringLiteral("-jf0"));
  EXPECT_EQ(lm::profileTable[1].ugu, ugu2);

  ASSERT_TRUE(QFile::remove(prog_.Path("lfup.ini")));
  lm::SaveProfiles();
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_EQ(Ini(), Sjis(canonical));
}

TEST_F(ProfileStore, ReadsLfCrAndMixedLineEnds) {
  const QString ugu = MakeScript(QStringLiteral("s"), QStringLiteral("SAMPLE"));
  QByteArray bytes = "profile(000)=A\nugu(000)=" + QFile::encodeName(ugu) + "\rnamearc(000)=n\r\naddfilecnt(000)=1\n"
                     "addfile(000)=000x";
  WriteIni(bytes);
  lm::LoadProfiles();
  EXPECT_EQ(lm::profileTable[0].profile, QStringLiteral("A"));
  EXPECT_EQ(lm::profileTable[0].ugu, ugu);
  EXPECT_EQ(lm::profileTable[0].namearc, QStringLiteral("n"));
  EXPECT_EQ(lm::profileTable[0].addfilecnt, 1);
  EXPECT_EQ(lm::profileTable[0].addfile[0], QStringLiteral("x"));
}

TEST_F(ProfileStore, HandEditedUtf8FileIsReadAndSavedAsShiftJis) {
  const QString ugu = MakeScript(QStringLiteral("スクリプト"), QStringLiteral("SAMPLE"));
  for (const QByteArray& bom : {QByteArray(), QByteArray("\xEF\xBB\xBF")}) {
    WriteIni(bom + (QStringLiteral("profile(000)=日本語の名前\nugu(000)=") + ugu + QStringLiteral("\n")).toUtf8());
    lm::LoadProfiles();
    EXPECT_EQ(lm::profileTable[0].profile, QStringLiteral("日本語の名前"));
    EXPECT_EQ(lm::profileTable[0].ugu, ugu);
    lm::SaveProfiles();
    QStringList lines;
    ASSERT_TRUE(lm::ReadTextLines(prog_.Path("lfup.ini"), lines));  // Shift-JIS again
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines[0], QStringLiteral("profile(000)=日本語の名前"));
  }
  // A Shift-JIS file is not taken for UTF-8, also when its bytes happen to be valid UTF-8.
  WriteIni(Sjis({QStringLiteral("profile(000)=表示ソフト"), QStringLiteral("namearc(000)=ｱｰｶｲﾌﾞ")}));
  lm::LoadProfiles();
  EXPECT_EQ(lm::profileTable[0].profile, QStringLiteral("表示ソフト"));
  EXPECT_EQ(lm::profileTable[0].namearc, QStringLiteral("ｱｰｶｲﾌﾞ"));
  ASSERT_EQ(Sjis({QStringLiteral("ﾃｽ")}), QByteArray("\xC3\xBD\r\n"));  // "ý" in UTF-8
  WriteIni(Sjis({QStringLiteral("profile(000)=ﾃｽ")}));
  lm::LoadProfiles();
  EXPECT_EQ(lm::profileTable[0].profile, QStringLiteral("ﾃｽ"));

  // Shift-JIS that forms valid UTF-8 once a line that is not (here a bad
  // byte) is gone from the file: the save marks the file as Shift-JIS with a
  // comment line, and the name reads back as it was.
  const QString rare = QStringLiteral("鬢罵d");
  ASSERT_EQ(Sjis({rare}), QByteArray("\xE9\xA4\x94\x6C\x64\r\n"));  // "餔ld" in UTF-8
  const QString asciiUgu = MakeScript(QStringLiteral("plain"), QStringLiteral("SAMPLE"));
  WriteIni(Sjis({QStringLiteral("profile(000)=") + rare, QStringLiteral("ugu(000)=") + asciiUgu}) + "\xFF\r\n");
  lm::LoadProfiles();
  ASSERT_EQ(lm::profileTable[0].profile, rare);
  lm::SaveProfiles();
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_TRUE(Ini().startsWith(Sjis({QStringLiteral("# このファイルはシフトJISで書かれています")})));
  lm::LoadProfiles();
  EXPECT_EQ(lm::profileTable[0].profile, rare);
  EXPECT_EQ(lm::profileTable[0].ugu, asciiUgu);
}

TEST_F(ProfileStore, KeysIgnoreCaseLegacyPrefixesDoNot) {
  const QString ugu = MakeScript(QStringLiteral("s"), QStringLiteral("SAMPLE"));
  const QString dir = scripts_.MakeDir(QStringLiteral("d"));
  scripts_.WriteFile(QStringLiteral("d/f"), "f");
  WriteIni(Sjis({QStringLiteral("UGU=/ignored.ugu"), QStringLiteral("NameArc(000)=N"),
                 QStringLiteral("profile(000)="), QStringLiteral("profile=Legacy name"),
                 QStringLiteral("profile=second legacy name"), QStringLiteral("ugu= ") + ugu,
                 QStringLiteral("dirarc=　") + dir + QStringLiteral(" "), QStringLiteral("Addarc=x"), QStringLiteral("addarc=y")}));
  lm::LoadProfiles();
  const lm::Profile& p = lm::profileTable[0];
  EXPECT_EQ(p.namearc, QStringLiteral("N"));
  EXPECT_EQ(p.profile, QStringLiteral("Legacy name"));  // only while the field is empty
  EXPECT_EQ(p.ugu, ugu);
  EXPECT_EQ(p.dirarc, dir);
  EXPECT_EQ(p.addarc, QStringLiteral("y"));
  EXPECT_EQ(lm::lastProfile, 0);
}

TEST_F(ProfileStore, LegacyPathWithParenthesesIsNotAKeyedLine) {
  const QString ugu = MakeScript(QStringLiteral("v(001)"), QStringLiteral("SAMPLE"));
  WriteIni(Sjis({QStringLiteral("ugu=") + ugu}));
  lm::LoadProfiles();
  EXPECT_EQ(lm::lastProfile, 0);
  EXPECT_EQ(lm::profileTable[0].ugu, ugu);
}

TEST_F(ProfileStore, LegacyProfileLineIgnoredWhileDefaultNameStands) {
  WriteIni(Sjis({QStringLiteral("profile=Old")}));
  lm::LoadProfiles();
  EXPECT_EQ(lm::profileTable[0].profile, QStringLiteral("Default"));
}

TEST_F(ProfileStore, GapsUnknownKeysAndOutOfRangeLines) {
  const QString ugu = MakeScript(QStringLiteral("s"), QStringLiteral("SAMPLE"));
  WriteIni(Sjis({
      QStringLiteral("profile(000)=Zero"),
      QStringLiteral("ugu(000)=") + ugu,
      QStringLiteral("colour(005)=red"),   // names no field, still raises lastProfile
      QStringLiteral("profile(101)=Too far"),
      QStringLiteral("profile(1000)=Too far"),
      QStringLiteral("profile(7)=Short index"),
      QStringLiteral("addfile(000)=051beyond"),
      QStringLiteral("addfile(000)=abcnot a number"),
      QStringLiteral("addfile(000)=007seven"),
      QStringLiteral("default(003)=1"),
  }));
  lm::LoadProfiles();
  EXPECT_EQ(lm::lastProfile, 5);
  EXPECT_EQ(lm::currentProfile, 0);  // the default flag does not select
  for (int i = 1; i <= 5; ++i) EXPECT_EQ(lm::profileTable[i].profile, QString()) << i;
  EXPECT_EQ(lm::profileTable[0].addfile[7], QStringLiteral("seven"));
  EXPECT_EQ(lm::profileTable[0].addfilecnt, 0);  // only addfilecnt counts entries
  EXPECT_EQ(lm::profileTable[0].addfile[50], QString());

  // The empty profiles vanish at the next save.
  lm::SaveProfiles();
  QStringList lines;
  ASSERT_TRUE(lm::ReadTextLines(prog_.Path("lfup.ini"), lines));
  EXPECT_EQ(lines.size(), 14);  // one profile without attachments
  EXPECT_EQ(lines.first(), QStringLiteral("profile(000)=Zero"));
}

TEST_F(ProfileStore, AddFileCountIsClamped) {
  struct Case {
    const char* text;
    int count;
  } cases[] = {{"3", 3}, {"51", 51}, {"52", 51}, {"99999", 51}, {"-4", 0}, {"x", 0}, {"12abc", 12}, {"", 0}};
  for (const Case& c : cases) {
    WriteIni(Sjis({QStringLiteral("addfilecnt(000)=") + QString::fromUtf8(c.text)}));
    lm::LoadProfiles();
    EXPECT_EQ(lm::profileTable[0].addfilecnt, c.count) << c.text;
  }
}

TEST_F(ProfileStore, UnfoundScriptsKeepTheirProfilesAndFoundOnesLoseAMissingArchiveDir) {
  const QString good = MakeScript(QStringLiteral("s"), QStringLiteral("SAMPLE"));
  const QString noDat = scripts_.WriteFile(QStringLiteral("n/NODAT.UGU"), "u");
  const QString emptyDir = scripts_.MakeDir(QStringLiteral("empty"));
  const QString missingDir = scripts_.Path(QStringLiteral("missing"));
  const QStringList stored = {
      QStringLiteral("profile(000)=Good"), QStringLiteral("ugu(000)=") + good,
      QStringLiteral("dirarc(000)=") + missingDir,
      QStringLiteral("profile(001)=No DAT"), QStringLiteral("ugu(001)=") + noDat,
      QStringLiteral("dirarc(001)=") + emptyDir,
      QStringLiteral("profile(002)=Missing"), QStringLiteral("ugu(002)=/no/such/file.ugu"),
      QStringLiteral("dirarc(002)=") + missingDir,
  };
  WriteIni(Sjis(stored));
  lm::LoadProfiles();
  ASSERT_EQ(lm::lastProfile, 2);
  EXPECT_EQ(lm::profileTable[0].ugu, good);
  EXPECT_EQ(lm::profileTable[0].dirarc, QString());  // a found script falls back to the program folder
  EXPECT_EQ(lm::profileTable[1].ugu, noDat);
  EXPECT_EQ(lm::profileTable[1].dirarc, emptyDir);
  EXPECT_EQ(lm::profileTable[2].ugu, QStringLiteral("/no/such/file.ugu"));
  EXPECT_EQ(lm::profileTable[2].dirarc, missingDir);  // kept as stored, like every field
  EXPECT_EQ(lm::unfoundProfiles, (std::vector<int16_t>{1, 2}));
  EXPECT_TRUE(boxes_.Shown().empty());  // loading itself shows nothing

  const QString message = lm::UnfoundProfilesMessage();
  EXPECT_TRUE(message.contains(QStringLiteral("No DAT　『") + noDat + QStringLiteral("』")));
  EXPECT_TRUE(message.contains(QStringLiteral("Missing　『/no/such/file.ugu』")));
  EXPECT_FALSE(message.contains(QStringLiteral("Good")));

  // All three are written back, in their order.
  lm::SaveProfiles();
  QStringList lines;
  ASSERT_TRUE(lm::ReadTextLines(prog_.Path("lfup.ini"), lines));
  ASSERT_EQ(lines.size(), 3 * 14);
  EXPECT_EQ(lines[0], QStringLiteral("profile(000)=Good"));
  EXPECT_EQ(lines[3], QStringLiteral("dirarc(000)="));
  EXPECT_EQ(lines[6], QStringLiteral("default(000)=1"));
  EXPECT_EQ(lines[14], QStringLiteral("profile(001)=No DAT"));
  EXPECT_EQ(lines[15], QStringLiteral("ugu(001)=") + noDat);
  EXPECT_EQ(lines[28], QStringLiteral("profile(002)=Missing"));
  EXPECT_EQ(lines[29], QStringLiteral("ugu(002)=/no/such/file.ugu"));
  EXPECT_EQ(lines[31], QStringLiteral("dirarc(002)=") + missingDir);
}

TEST_F(ProfileStore, EveryScriptFoundGivesNoMessage) {
  WriteIni(Sjis({QStringLiteral("profile(000)=Good"),
                 QStringLiteral("ugu(000)=") + MakeScript(QStringLiteral("s"), QStringLiteral("SAMPLE")),
                 QStringLiteral("profile(001)=Never set")}));
  lm::LoadProfiles();
  EXPECT_TRUE(lm::unfoundProfiles.empty());  // a profile without a script path is not looked for
  EXPECT_EQ(lm::UnfoundProfilesMessage(), QString());
}

TEST_F(ProfileStore, OnlyProfileWithUnfoundScriptIsWrittenBackUnchanged) {
  WriteIni(Sjis({QStringLiteral("profile(000)=Lonely"), QStringLiteral("ugu(000)=/nowhere/x.ugu")}));
  lm::LoadProfiles();
  EXPECT_EQ(lm::profileTable[0].profile, QStringLiteral("Lonely"));
  EXPECT_EQ(lm::profileTable[0].ugu, QStringLiteral("/nowhere/x.ugu"));
  lm::SaveProfiles();
  EXPECT_TRUE(boxes_.Shown().empty());
  QStringList lines;
  ASSERT_TRUE(lm::ReadTextLines(prog_.Path("lfup.ini"), lines));
  ASSERT_EQ(lines.size(), 14);
  EXPECT_EQ(lines[1], QStringLiteral("ugu(000)=/nowhere/x.ugu"));
}

TEST_F(ProfileStore, ProfileWithoutAnyScriptPathLeavesNoLinesAfterSave) {
  WriteIni(Sjis({QStringLiteral("profile(000)=Empty"), QStringLiteral("ugu(000)=")}));
  lm::LoadProfiles();
  lm::SaveProfiles();
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_EQ(Ini(), QByteArray());
}

TEST_F(ProfileStore, ReplacedSettingsFileIsKeptAsBackup) {
  const QString ugu = MakeScript(QStringLiteral("s"), QStringLiteral("SAMPLE"));
  WriteIni("# written by hand\r\n");
  lm::profileTable[0].profile = QStringLiteral("One");
  lm::profileTable[0].ugu = ugu;
  lm::SaveProfiles();
  EXPECT_TRUE(Ini().startsWith("profile(000)=One"));
  EXPECT_EQ(prog_.ReadFile("lfup.ini.bak"), QByteArray("# written by hand\r\n"));

  // A second save with the same contents keeps the older copy.
  lm::SaveProfiles();
  EXPECT_EQ(prog_.ReadFile("lfup.ini.bak"), QByteArray("# written by hand\r\n"));

  // A changed save keeps the file it replaced; no temporary file stays.
  const QByteArray first = Ini();
  lm::profileTable[0].profile = QStringLiteral("Two");
  lm::SaveProfiles();
  EXPECT_EQ(prog_.ReadFile("lfup.ini.bak"), first);
  EXPECT_EQ(QDir(prog_.Path()).entryList(QDir::Files | QDir::Hidden),
            (QStringList{QStringLiteral("lfup.ini"), QStringLiteral("lfup.ini.bak")}));
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(ProfileStore, FirstSaveMakesNoBackup) {
  lm::profileTable[0].ugu = QStringLiteral("/a.ugu");
  lm::SaveProfiles();
  EXPECT_EQ(QDir(prog_.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("lfup.ini")});
}

TEST_F(ProfileStore, SaveRenumbersAndFlagsCurrentByTableIndex) {
  lm::lastProfile = 2;
  lm::currentProfile = 2;
  lm::profileTable[0].profile = QStringLiteral("  A  ");
  lm::profileTable[0].ugu = QStringLiteral(" /a.ugu ");  // written as it is
  lm::profileTable[0].dirarc = QStringLiteral(" /dist ");
  lm::profileTable[0].password = QStringLiteral("   secret\u3000");
  lm::profileTable[0].addfilecnt = 1;
  lm::profileTable[0].addfile[0] = QStringLiteral("  /f  ");
  lm::profileTable[1].profile = QStringLiteral("B");
  lm::profileTable[1].ugu = QStringLiteral("  ");  // no script: skipped, uses no number
  lm::profileTable[2].profile = QStringLiteral("C");
  lm::profileTable[2].ugu = QStringLiteral("/c.ugu");
  lm::SaveProfiles();
  QStringList lines;
  ASSERT_TRUE(lm::ReadTextLines(prog_.Path("lfup.ini"), lines));
  ASSERT_EQ(lines.size(), 29);
  EXPECT_EQ(lines[0], QStringLiteral("profile(000)=A"));
  EXPECT_EQ(lines[1], QStringLiteral("ugu(000)= /a.ugu "));
  EXPECT_EQ(lines[3], QStringLiteral("dirarc(000)= /dist "));
  EXPECT_EQ(lines[6], QStringLiteral("addfile(000)=000/f"));
  EXPECT_EQ(lines[7], QStringLiteral("default(000)=0"));
  EXPECT_EQ(lines[13], QStringLiteral("password(000)=secret"));
  EXPECT_EQ(lines[15], QStringLiteral("profile(001)=C"));
  EXPECT_EQ(lines[21], QStringLiteral("default(001)=1"));
}

TEST_F(ProfileStore, LineBreaksInsideValuesCannotAddLines) {
  lm::profileTable[0].profile = QStringLiteral("A\nugu(001)=/evil.ugu");
  lm::profileTable[0].ugu = QStringLiteral("/a.ugu\r\n");
  lm::SaveProfiles();
  QStringList lines;
  ASSERT_TRUE(lm::ReadTextLines(prog_.Path("lfup.ini"), lines, nullptr, lm::LineBreaks::Any));
  ASSERT_EQ(lines.size(), 14);
  EXPECT_EQ(lines[0], QStringLiteral("profile(000)=A ugu(001)=/evil.ugu"));
  EXPECT_EQ(lines[1], QStringLiteral("ugu(000)=/a.ugu  "));
}

TEST_F(ProfileStore, UnencodableTextKeepsTheOldFile) {
  WriteIni("old contents\r\n");
  lm::profileTable[0].profile = QStringLiteral("smile \U0001F600");
  lm::profileTable[0].ugu = QStringLiteral("/a.ugu");
  lm::SaveProfiles();
  EXPECT_EQ(Ini(), QByteArray("old contents\r\n"));
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_EQ(boxes_.Shown()[0].style, 0);
  EXPECT_EQ(boxes_.Shown()[0].title, QStringLiteral("Loftmark"));
  EXPECT_TRUE(boxes_.Shown()[0].text.startsWith(QStringLiteral("設定ファイルに書きこみできませんでした。")));
  EXPECT_TRUE(boxes_.Shown()[0].text.contains(QStringLiteral("\U0001F600")));
  EXPECT_EQ(QDir(prog_.Path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("lfup.ini")});
}

// Fields whose bytes are not Shift-JIS (written by another tool, or a
// damaged file) are written back as the bytes they had; the save goes
// through, the rest of the file is saved as usual.
TEST_F(ProfileStore, BytesThatAreNotShiftJisAreWrittenBackAsTheyWere) {
  const QString ugu = MakeScript(QStringLiteral("s"), QStringLiteral("SAMPLE"));
  const QByteArray uguBytes = Sjis({ugu}).chopped(2);
  struct Case {
    const char* what;
    QByteArray line;  // the line of profile 000 that holds the stray bytes
  } cases[] = {
      {"name with a stray byte", "profile(000)=ab\x80" "cd"},
      {"name of bytes no character uses", "profile(000)=\xFD\xFE\xFF"},
      {"title with a lead byte cut off", "exewintitle(000)=\x83"},
      {"title with a lead byte before a blank", "exewintitle(000)=\x83 x"},
      {"folder beside a 0x5C kanji", "exeviewdir(000)=C:\\\x95\x5C\xFD"},
      {"attachment", "addfile(000)=000/home/u/\x81\x20.txt"},
      {"password", "password(000)=p\xA0w"},
  };
  for (const Case& c : cases) {
    lmtest::ResetProfiles();
    boxes_.Clear();
    const QByteArray ini = "profile(000)=P\r\nugu(000)=" + uguBytes + "\r\naddfilecnt(000)=1\r\n" + c.line + "\r\n";
    WriteIni(ini);
    lm::LoadProfiles();
    QFile::remove(prog_.Path("lfup.ini.bak"));
    lm::SaveProfiles();
    EXPECT_TRUE(boxes_.Shown().empty()) << c.what << ": " << boxes_.Texts().join("|").toStdString();
    EXPECT_TRUE(Ini().contains("\r\n" + c.line + "\r\n") || Ini().startsWith(c.line + "\r\n")) << c.what;

    // An edit of another field keeps them too; the edited field is written as edited.
    lm::profileTable[0].namearc = QStringLiteral("表");
    lm::SaveProfiles();
    EXPECT_TRUE(Ini().contains(c.line + "\r\n")) << c.what;
    EXPECT_TRUE(Ini().contains("namearc(000)=\x95\x5C\r\n")) << c.what;

    // Read back once more: the same table.
    const lm::Profile before = lm::profileTable[0];
    lm::LoadProfiles();
    EXPECT_EQ(lm::profileTable[0].profile, before.profile) << c.what;
    EXPECT_EQ(lm::profileTable[0].exewintitle, before.exewintitle) << c.what;
    EXPECT_EQ(lm::profileTable[0].addfile[0], before.addfile[0]) << c.what;
  }
  // The author's own edit of such a field replaces its bytes.
  lm::profileTable[0].password = QStringLiteral("new");
  lm::SaveProfiles();
  EXPECT_TRUE(Ini().contains("password(000)=new\r\n"));
}

mode_t ModeOf(const QString& path) {
  struct stat st {};
  ::stat(QFile::encodeName(path).constData(), &st);
  return st.st_mode & 07777;
}

// A settings file with a password in it is for its owner alone, and so is
// the copy of an earlier one; without a password an existing file keeps the
// mode the author gave it.
TEST_F(ProfileStore, SettingsWithAPasswordAreReadableByTheOwnerOnly) {
  const QString ugu = MakeScript(QStringLiteral("s"), QStringLiteral("SAMPLE"));
  const mode_t mask = ::umask(022);
  lm::profileTable[0].profile = QStringLiteral("P");
  lm::profileTable[0].ugu = ugu;

  // New file with a password: 0600.
  lm::profileTable[0].password = QStringLiteral("secret");
  lm::SaveProfiles();
  EXPECT_EQ(ModeOf(prog_.Path("lfup.ini")), 0600u);

  // An existing readable file gets a password: it and its copy become private.
  ASSERT_EQ(::chmod(QFile::encodeName(prog_.Path("lfup.ini")).constData(), 0644), 0);
  lm::profileTable[0].password = QStringLiteral("other");
  lm::SaveProfiles();
  EXPECT_EQ(ModeOf(prog_.Path("lfup.ini")), 0600u);
  EXPECT_EQ(ModeOf(prog_.Path("lfup.ini.bak")), 0600u);
  EXPECT_TRUE(prog_.ReadFile("lfup.ini.bak").contains("password(000)=secret"));

  // The password is taken out: the file keeps the mode it has, the copy
  // (which still holds the password) stays private.
  ASSERT_EQ(::chmod(QFile::encodeName(prog_.Path("lfup.ini")).constData(), 0640), 0);
  lm::profileTable[0].password.clear();
  lm::SaveProfiles();
  EXPECT_EQ(ModeOf(prog_.Path("lfup.ini")), 0640u);
  EXPECT_EQ(ModeOf(prog_.Path("lfup.ini.bak")), 0600u);
  EXPECT_FALSE(Ini().contains("password(000)=o"));

  // Without any password an existing file and a new copy keep ordinary modes.
  lm::profileTable[0].profile = QStringLiteral("Q");
  QFile::remove(prog_.Path("lfup.ini.bak"));
  lm::SaveProfiles();
  EXPECT_EQ(ModeOf(prog_.Path("lfup.ini")), 0640u);
  EXPECT_EQ(ModeOf(prog_.Path("lfup.ini.bak")), 0644u);

  // A password of blanks is no password; a password of another profile is.
  lm::profileTable[0].password = QStringLiteral("   ");
  lm::profileTable[1].profile = QStringLiteral("R");
  lm::profileTable[1].ugu = ugu;
  lm::profileTable[1].password = QStringLiteral("x");
  lm::lastProfile = 1;
  lm::SaveProfiles();
  EXPECT_EQ(ModeOf(prog_.Path("lfup.ini")), 0600u);
  ::umask(mask);
}

TEST_F(ProfileStore, ReadOnlySettingsFileIsRefused) {
  WriteIni("old\r\n");
  ASSERT_EQ(::chmod(QFile::encodeName(prog_.Path("lfup.ini")).constData(), 0444), 0);
  lm::profileTable[0].ugu = QStringLiteral("/a.ugu");
  lm::SaveProfiles();
  EXPECT_EQ(Ini(), QByteArray("old\r\n"));
  ASSERT_EQ(boxes_.Texts(), QStringList{QStringLiteral("設定ファイルに書きこみできませんでした。")});
  EXPECT_EQ(boxes_.Shown()[0].style, 0);
}

TEST_F(ProfileStore, ReadOnlyProgramFolderKeepsTheSettingsInTheUserConfigFolder) {
  // An installed copy: the program folder is read-only, lfup.ini lives in
  // $XDG_CONFIG_HOME/loftmark and the program folder is never written.
  lmtest::TempTree home;
  lmtest::ScopedEnv config("XDG_CONFIG_HOME", QFile::encodeName(home.Path("cfg")));
  const QString a = MakeScript("s", "a");
  home.WriteFile("cfg/loftmark/lfup.ini", Sjis({"profile(000)=A", "ugu(000)=" + a}));
  ASSERT_EQ(::chmod(QFile::encodeName(prog_.Path()).constData(), 0555), 0);
  lm::LoadProfiles();
  EXPECT_EQ(lm::profileTable[0].profile, QStringLiteral("A"));
  EXPECT_EQ(lm::profileTable[0].ugu, a);
  lm::profileTable[0].profile = QStringLiteral("B");
  lm::SaveProfiles();
  ::chmod(QFile::encodeName(prog_.Path()).constData(), 0755);
  EXPECT_TRUE(boxes_.Texts().isEmpty()) << boxes_.Texts().join('|').toStdString();
  EXPECT_TRUE(home.ReadFile("cfg/loftmark/lfup.ini").startsWith("profile(000)=B\r\n"));
  EXPECT_TRUE(home.ReadFile("cfg/loftmark/lfup.ini.bak").startsWith("profile(000)=A\r\n"));
  EXPECT_TRUE(QDir(prog_.Path()).isEmpty());
}

TEST_F(ProfileStore, UnwritableSettingsFolderIsRefused) {
  // A read-only program folder sends lfup.ini to the user's config folder;
  // when that one refuses the write too, the save says so and keeps the file.
  lmtest::TempTree home;
  lmtest::ScopedEnv config("XDG_CONFIG_HOME", QFile::encodeName(home.Path("cfg")));
  home.WriteFile("cfg/loftmark/lfup.ini", "old\r\n");
  ASSERT_EQ(::chmod(QFile::encodeName(prog_.Path()).constData(), 0555), 0);
  ASSERT_EQ(::chmod(QFile::encodeName(home.Path("cfg/loftmark")).constData(), 0555), 0);
  lm::profileTable[0].ugu = QStringLiteral("/a.ugu");
  // As an ordinary user (root writes into any folder).
  lmtest::RunUnprivileged({prog_.Path(), home.Path()}, [&] {
    lm::SaveProfiles();
    EXPECT_EQ(home.ReadFile("cfg/loftmark/lfup.ini"), QByteArray("old\r\n"));
    EXPECT_EQ(boxes_.Texts(), QStringList{QStringLiteral("設定ファイルに書きこみできませんでした。")});
  });
  ::chmod(QFile::encodeName(home.Path("cfg/loftmark")).constData(), 0755);
  ::chmod(QFile::encodeName(prog_.Path()).constData(), 0755);
}

TEST_F(ProfileStore, OtherFailuresShowTheSystemDescription) {
  prog_.MakeDir(QStringLiteral("lfup.ini"));  // a directory where the file belongs
  lm::profileTable[0].ugu = QStringLiteral("/a.ugu");
  lm::SaveProfiles();
  ASSERT_EQ(boxes_.Shown().size(), 1u);
  EXPECT_EQ(boxes_.Shown()[0].text, QString::fromLocal8Bit(std::strerror(EISDIR)));
  EXPECT_EQ(boxes_.Shown()[0].style, 0);
}

TEST_F(ProfileStore, FullTableRoundTrip) {
  // 101 profiles with 51 attachments each: the table's limits.
  QStringList canonical;
  for (int n = 0; n < lm::kProfileCapacity; ++n) {
    const QString nnn = QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0'));
    const QString ugu = MakeScript(QStringLiteral("s") + nnn, QStringLiteral("script") + nnn);
    auto line = [&](const QString& key, const QString& value) {
      canonical << key + QLatin1Char('(') + nnn + QStringLiteral(")=") + value;
    };
    line(QStringLiteral("profile"), QStringLiteral("プロファイル") + nnn);
    line(QStringLiteral("ugu"), ugu);
    line(QStringLiteral("namearc"), QStringLiteral("arc") + nnn);
    line(QStringLiteral("dirarc"), QString());
    line(QStringLiteral("addarc"), QString());
    line(QStringLiteral("addfilecnt"), QStringLiteral("51"));
    for (int k = 0; k < lm::kAttachmentCapacity; ++k) {
      line(QStringLiteral("addfile"), QStringLiteral("%1/files/添付%2").arg(k, 3, 10, QLatin1Char('0')).arg(k));
    }
    line(QStringLiteral("default"), n == 0 ? QStringLiteral("1") : QStringLiteral("0"));
    for (const char* key : {"exewintitle", "exeviewdir", "autoview", "server", "userid", "password", "dirserver"}) {
      line(QLatin1String(key), QLatin1String(key) + nnn);
    }
  }
  WriteIni(Sjis(canonical));
  lm::LoadProfiles();
  ASSERT_EQ(lm::lastProfile, 100);
  EXPECT_EQ(lm::profileTable[100].addfile[50], QStringLiteral("/files/添付50"));
  ASSERT_TRUE(QFile::remove(prog_.Path("lfup.ini")));
  lm::SaveProfiles();
  EXPECT_TRUE(boxes_.Shown().empty());
  EXPECT_EQ(Ini(), Sjis(canonical));
}

TEST_F(ProfileStore, SettingsPathThatIsADirectoryGivesDefault) {
  prog_.MakeDir(QStringLiteral("lfup.ini"));
  lm::LoadProfiles();
  EXPECT_EQ(lm::lastProfile, 0);
  EXPECT_EQ(lm::profileTable[0].profile, QStringLiteral("Default"));
  EXPECT_TRUE(boxes_.Shown().empty());
}

TEST_F(ProfileStore, SaveBeforeAnyLoadWritesBesideTheExecutable) {
  lm::programDir.clear();
  lm::profileTable[0].ugu = QStringLiteral("/a.ugu");
  lm::SaveProfiles();
  EXPECT_TRUE(Ini().startsWith("profile(000)="));
}

TEST_F(ProfileStore, SettingsFileFoundWithoutRegardToCase) {
  prog_.WriteFile("LFUP.INI", Sjis({QStringLiteral("profile(000)=Upper")}));
  lm::LoadProfiles();
  EXPECT_EQ(lm::profileTable[0].profile, QStringLiteral("Upper"));
}

}  // namespace
