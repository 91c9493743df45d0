#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "support/temp_tree.h"
#include "support/unprivileged.h"
#include "util/scoped_env.h"
#include "util/app_globals.h"
#include "util/cfile.h"

namespace {

using lmtest::ScopedEnv;

QString Win(QString p) { return p.replace(QLatin1Char('/'), QLatin1Char('\\')); }

TEST(CFileText, PathTextOperations) {
  const lm::cFile f;
  EXPECT_EQ(f.AddDirSep(QStringLiteral("C:\\x   ")), QStringLiteral("C:\\x\\"));
  EXPECT_EQ(f.AddDirSep(QStringLiteral("C:\\x\\")), QStringLiteral("C:\\x\\"));
  EXPECT_EQ(f.AddDirSep(QStringLiteral("/a/b")), QStringLiteral("/a/b/"));
  EXPECT_EQ(f.AddDirSep(QStringLiteral("/a/b/ ")), QStringLiteral("/a/b/"));
  EXPECT_EQ(f.AddDirSep(QStringLiteral("C:")), QStringLiteral("C:\\"));

  EXPECT_EQ(f.RemoveDirSep(QStringLiteral(" C:\\x\\ ")), QStringLiteral("C:\\x"));
  EXPECT_EQ(f.RemoveDirSep(QStringLiteral("C:\\")), QStringLiteral("C:\\"));
  EXPECT_EQ(f.RemoveDirSep(QStringLiteral("/")), QStringLiteral("/"));
  EXPECT_EQ(f.RemoveDirSep(QStringLiteral("/a/")), QStringLiteral("/a"));
  EXPECT_EQ(f.RemoveDirSep(QStringLiteral("/a/b")), QStringLiteral("/a/b"));

  EXPECT_EQ(f.AddQuotesToFN(QStringLiteral("a,b")), QStringLiteral("\"a,b\""));
  EXPECT_EQ(f.AddQuotesToFN(QStringLiteral("/my dir/x")), QStringLiteral("\"/my dir/x\""));
  EXPECT_EQ(f.AddQuotesToFN(QStringLiteral("/plain/x")), QStringLiteral("/plain/x"));
  EXPECT_EQ(f.StripQuotes(QStringLiteral("\"a b\"")), QStringLiteral("a b"));
  EXPECT_EQ(f.StripQuotes(QStringLiteral("\"a")), QStringLiteral("a"));
  EXPECT_EQ(f.StripQuotes(QStringLiteral("a\"\"")), QStringLiteral("a\""));

  EXPECT_EQ(f.GetFileName(QStringLiteral("C:\\a\\b.txt")), QStringLiteral("b.txt"));
  EXPECT_EQ(f.GetFileName(QStringLiteral("C:b.txt")), QStringLiteral("b.txt"));
  EXPECT_EQ(f.GetFileName(QStringLiteral("/a/b")), QStringLiteral("b"));
  EXPECT_EQ(f.GetFileName(QStringLiteral("x")), QStringLiteral("x"));

  EXPECT_EQ(f.GetPathName(QStringLiteral("C:\\a\\b.txt")), QStringLiteral("C:\\a"));
  EXPECT_EQ(f.GetPathName(QStringLiteral("C:\\b.txt")), QStringLiteral("C:"));
  EXPECT_EQ(f.GetPathName(QStringLiteral("/a/b/c")), QStringLiteral("/a/b"));
  EXPECT_EQ(f.GetPathName(QStringLiteral("/c")), QStringLiteral("/"));
  EXPECT_EQ(f.GetPathName(QStringLiteral("c")), QDir::currentPath());

  EXPECT_EQ(f.Extension(QStringLiteral("/p/f.Txt")), QStringLiteral("TXT"));
  EXPECT_EQ(f.Extension(QStringLiteral("x.tar.gz")), QStringLiteral("GZ"));
  EXPECT_EQ(f.Extension(QStringLiteral("C:\\a.b\\c")), QString());
  EXPECT_EQ(f.Extension(QStringLiteral("/a.b/c")), QString());
  EXPECT_EQ(f.Extension(QStringLiteral("noext")), QString());
}

TEST(CFileText, ShortPathIsTheQuotedLongPath) {
  lmtest::TempTree t;
  const lm::cFile f;
  const QString spaced = t.MakeDir(QStringLiteral("Program Files/x"));
  EXPECT_EQ(f.GetDosShortPathName(spaced), QLatin1Char('"') + spaced + QLatin1Char('"'));
  EXPECT_EQ(f.GetDosShortPathName(QStringLiteral("/no where/x")), QStringLiteral("\"/no where/x\""));
  EXPECT_EQ(f.GetDosShortPathName(QStringLiteral("/no/where,x")), QStringLiteral("\"/no/where,x\""));
  EXPECT_EQ(f.GetDosShortPathName(QStringLiteral("/no/where")), QStringLiteral("/no/where"));
}

TEST(CFileText, OmitPathName) {
  const lm::cFile f;
  EXPECT_EQ(f.OmitPathName(QStringLiteral("C:\\Program Files\\Vendor & Co\\App\\file&name.txt")),
            QStringLiteral("C:\\...\\App\\file&&name.txt"));
  EXPECT_EQ(f.OmitPathName(QStringLiteral("/home/user/projects/docs/a&b.txt")),
            QStringLiteral("/ho.../docs/a&&b.txt"));
  // Not shorter: the whole path, "&" still doubled.
  EXPECT_EQ(f.OmitPathName(QStringLiteral("C:\\ab\\f&.txt")), QStringLiteral("C:\\ab\\f&&.txt"));
  // The file name begins right after the first few characters: unchanged, no doubling.
  EXPECT_EQ(f.OmitPathName(QStringLiteral("C:\\&\\f&.txt")), QStringLiteral("C:\\&\\f&.txt"));
  EXPECT_EQ(f.OmitPathName(QStringLiteral("C:\\f&.txt")), QStringLiteral("C:\\f&.txt"));
  EXPECT_EQ(f.OmitPathName(QStringLiteral("f&.txt")), QStringLiteral("f&.txt"));
}

TEST(CFileFs, DirExists) {
  lmtest::TempTree t;
  const lm::cFile f;
  t.MakeDir(QStringLiteral("Empty"));
  t.WriteFile(QStringLiteral("file.txt"), "x");
  t.MakeDir(QStringLiteral(".hiddenEmpty"));
  t.WriteFile(QStringLiteral(".hiddenFull/visible.txt"), "x");
  t.WriteFile(QStringLiteral(".hiddenOnlyHidden/.dot"), "x");
  t.MakeDir(QStringLiteral(".config/loftmark"));
  struct Case {
    QString path;
    bool exists;
  } cases[] = {
      {t.Path(QStringLiteral("Empty")), true},
      {t.Path(QStringLiteral("empty")), true},  // without regard to case
      {t.Path(QStringLiteral("Empty/")), true},
      {Win(t.Path(QStringLiteral("Empty"))), true},
      {Win(t.Path(QStringLiteral("Empty"))) + QStringLiteral("\\"), true},
      {t.Path(QStringLiteral("Empty")) + QStringLiteral("   "), true},  // trailing blanks dropped
      {t.Path(QStringLiteral("missing")), false},
      {t.Path(QStringLiteral("missing/deeper")), false},
      {t.Path(QStringLiteral("file.txt")), false},
      {t.Path(QStringLiteral(".hiddenEmpty")), false},
      {t.Path(QStringLiteral(".hiddenFull")), true},
      {t.Path(QStringLiteral(".hiddenOnlyHidden")), false},
      {t.Path(QStringLiteral(".config/loftmark")), true},  // a hidden parent does not matter
      {QStringLiteral("/"), true},
      {QString(), false},
      {QStringLiteral("   "), false},
      {QStringLiteral("Q:\\no\\drive"), false},
  };
  for (const Case& c : cases) EXPECT_EQ(f.DirExists(c.path), c.exists) << c.path.toStdString();
}

TEST(CFileFs, UnlistableDirectoryCountsAsMissing) {
  lmtest::TempTree t;
  const QString d = t.MakeDir(QStringLiteral("locked"));
  t.WriteFile(QStringLiteral("locked/inside.txt"), "x");
  ASSERT_EQ(::chmod(QFile::encodeName(d).constData(), 0), 0);
  // As an ordinary user (root lists any folder).
  lmtest::RunUnprivileged({t.Path()}, [&] {
    EXPECT_FALSE(lm::cFile().DirExists(d));
    EXPECT_FALSE(lm::cFile().FileExists(d + QStringLiteral("/inside.txt")));
  });
  ::chmod(QFile::encodeName(d).constData(), 0755);
}

TEST(CFileFs, FileExists) {
  lmtest::TempTree t;
  const lm::cFile f;
  t.WriteFile(QStringLiteral("d/f1.txt"), "x");
  t.WriteFile(QStringLiteral("d/noext"), "x");
  t.WriteFile(QStringLiteral("d/.secret.cfg"), "x");
  t.MakeDir(QStringLiteral("d/sub.dir"));
  const QString d = t.Path(QStringLiteral("d"));
  struct Case {
    QString path;
    bool exists;
  } cases[] = {
      {d + QStringLiteral("/f1.txt"), true},
      {d + QStringLiteral("/F1.TXT"), true},
      {Win(d) + QStringLiteral("\\f1.txt"), true},
      {Win(d) + QStringLiteral("\\f1.txt\\"), true},  // one trailing separator is dropped
      {d + QStringLiteral("/f1.txt/"), true},
      {d + QStringLiteral("/missing.txt"), false},
      {d, false},                                     // a directory is not a file
      {d + QStringLiteral("/sub.dir"), false},
      {d + QStringLiteral("/.secret.cfg"), false},    // hidden
      {QString(), false},
      // wildcards match like a Windows listing, ordinary visible files only
      {d + QStringLiteral("/*.txt"), true},
      {d + QStringLiteral("/*.TXT"), true},
      {d + QStringLiteral("/f?.txt"), true},
      {d + QStringLiteral("/f?.t"), false},
      {d + QStringLiteral("/*.zip"), false},
      {d + QStringLiteral("/*.dir"), false},          // only a directory matches
      {d + QStringLiteral("/*.cfg"), false},          // only a hidden file matches
      {d + QStringLiteral("/noext.*"), true},         // ".*" also matches a name without a dot
      {d + QStringLiteral("/noe*."), true},           // "." at the end: names without extension
      {d + QStringLiteral("/f1*."), false},
      {d + QStringLiteral("/*"), true},
      {t.Path(QStringLiteral("missing/*.*")), false},
  };
  for (const Case& c : cases) EXPECT_EQ(f.FileExists(c.path), c.exists) << c.path.toStdString();
}

TEST(CFileFs, MakeDirs) {
  lmtest::TempTree t;
  const lm::cFile f;
  t.MakeDir(QStringLiteral("a"));
  EXPECT_TRUE(f.MakeDirs(t.Path(QStringLiteral("a/b/c"))));
  EXPECT_TRUE(QFileInfo(t.Path(QStringLiteral("a/b/c"))).isDir());
  EXPECT_TRUE(f.MakeDirs(t.Path(QStringLiteral("a/b/c/"))));  // all there: nothing to do

  // An existing directory in another case is used, not doubled.
  EXPECT_TRUE(f.MakeDirs(Win(t.Path(QStringLiteral("A\\B\\new")))));
  EXPECT_TRUE(QFileInfo(t.Path(QStringLiteral("a/b/new"))).isDir());
  EXPECT_FALSE(QFileInfo(t.Path(QStringLiteral("A"))).exists());

  // A file in the way: false, and the file is left alone.
  t.WriteFile(QStringLiteral("x/blocker"), "x");
  EXPECT_FALSE(f.MakeDirs(t.Path(QStringLiteral("x/blocker/z"))));
  EXPECT_FALSE(f.MakeDirs(t.Path(QStringLiteral("x/BLOCKER"))));
  EXPECT_TRUE(QFileInfo(t.Path(QStringLiteral("x/blocker"))).isFile());
  EXPECT_TRUE(f.MakeDirs(t.Path(QStringLiteral(".hidden/inner"))));
  EXPECT_TRUE(QFileInfo(t.Path(QStringLiteral(".hidden/inner"))).isDir());
}

TEST(CFileFs, CheckExistFileSearchesProgramLibraryAndPathDirectories) {
  lmtest::TempTree t;
  const lm::cFile f;
  const QString savedProgramDir = lm::programDir;
  lm::programDir = t.MakeDir(QStringLiteral("prog"));
  t.WriteFile(QStringLiteral("prog/UnLHA32.DLL"), "x");
  t.WriteFile(QStringLiteral("libs/libextra.so"), "x");
  t.WriteFile(QStringLiteral("bin/mytool"), "x");
  t.MakeDir(QStringLiteral("bin/somedir"));
  const ScopedEnv ld("LD_LIBRARY_PATH", QFile::encodeName(t.Path(QStringLiteral("libs"))));
  const ScopedEnv path("PATH", QFile::encodeName(t.Path(QStringLiteral("bin"))) + ":/usr/bin:/bin");

  EXPECT_TRUE(f.CheckExistFile(QStringLiteral("UnLHA32.DLL")));
  EXPECT_TRUE(f.CheckExistFile(QStringLiteral("unlha32.dll")));
  EXPECT_EQ(f.FindOnSearchPath(QStringLiteral("unlha32.dll")), t.Path(QStringLiteral("prog/UnLHA32.DLL")));
  EXPECT_TRUE(f.CheckExistFile(QStringLiteral("LIBEXTRA.SO")));
  EXPECT_TRUE(f.CheckExistFile(QStringLiteral("mytool")));
  EXPECT_FALSE(f.CheckExistFile(QStringLiteral("somedir")));
  EXPECT_TRUE(f.CheckExistFile(QStringLiteral("libc.so.6")));  // in the multiarch library directory
  EXPECT_FALSE(f.CheckExistFile(QStringLiteral("Cab32.DLL")));
  EXPECT_FALSE(f.CheckExistFile(QString()));
  // A path is tested as it is.
  EXPECT_TRUE(f.CheckExistFile(t.Path(QStringLiteral("bin/MYTOOL"))));
  EXPECT_FALSE(f.CheckExistFile(t.Path(QStringLiteral("prog/mytool"))));

  // The current directory is searched too.
  const QString savedCwd = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(t.Path(QStringLiteral("libs"))));
  t.WriteFile(QStringLiteral("libs/here.dat"), "x");
  EXPECT_TRUE(f.CheckExistFile(QStringLiteral("HERE.DAT")));
  QDir::setCurrent(savedCwd);
  lm::programDir = savedProgramDir;
}

TEST(CFileFs, TempFilesAreNewAndEmpty) {
  const lm::cFile f;
  const QString tmp = f.TempPath();
  EXPECT_TRUE(tmp.endsWith(QLatin1Char('/')));
  EXPECT_TRUE(QFileInfo(tmp).isDir());
  const QString a = f.TempFile();
  const QString b = f.TempFile();
  const QString r = f.ResponceFile();
  for (const QString& p : {a, b, r}) {
    ASSERT_FALSE(p.isEmpty());
    EXPECT_TRUE(p.startsWith(tmp)) << p.toStdString();
    EXPECT_TRUE(QFileInfo(p).isFile()) << p.toStdString();
    EXPECT_EQ(QFileInfo(p).size(), 0);
  }
  EXPECT_NE(a, b);
  EXPECT_TRUE(QFileInfo(a).fileName().startsWith(QStringLiteral("TMP")));
  EXPECT_TRUE(a.endsWith(QStringLiteral(".Lzh")));
  EXPECT_TRUE(QFileInfo(r).fileName().startsWith(QStringLiteral("~VB")));
  for (const QString& p : {a, b, r}) QFile::remove(p);
}

TEST(CFileFs, FileLockExcludesASecondLock) {
  lmtest::TempTree t;
  lm::cFile f;
  const QString p = t.WriteFile(QStringLiteral("locked.bin"), "x");
  const int first = f.FileLock(p);
  ASSERT_GT(first, 0);
  EXPECT_EQ(f.FileLock(p), 0);
  f.FileUnlock(first);
  const int again = f.FileLock(QStringLiteral("") + t.Path(QStringLiteral("LOCKED.BIN")));
  EXPECT_GT(again, 0);
  f.FileUnlock(again);
  EXPECT_EQ(f.FileLock(t.Path(QStringLiteral("missing"))), 0);
  EXPECT_EQ(f.FileLock(t.Path()), 0);  // a directory is not locked

  // Unlocking a number that FileLock did not hand out closes nothing.
  const int other = ::dup(1);
  ASSERT_GT(other, 0);
  f.FileUnlock(other);
  EXPECT_EQ(::close(other), 0);
  f.FileUnlock(0);
}

TEST(CFileFs, FileVersionFromVersionedLibraryNames) {
  lmtest::TempTree t;
  const lm::cFile f;
  const QString real = t.WriteFile(QStringLiteral("libdemo.so.4.8.123"), "x");
  ASSERT_TRUE(QFile::link(real, t.Path(QStringLiteral("libdemo.so.4"))));
  t.WriteFile(QStringLiteral("libtwo.so.12"), "x");
  t.WriteFile(QStringLiteral("plain.bin"), "x");
  EXPECT_EQ(f.FileVersion(t.Path(QStringLiteral("libdemo.so.4"))), QStringLiteral("4.08.123"));
  EXPECT_EQ(f.FileVersion(real), QStringLiteral("4.08.123"));
  EXPECT_EQ(f.FileVersion(t.Path(QStringLiteral("libtwo.so.12"))), QStringLiteral("12.00.0"));
  EXPECT_EQ(f.FileVersion(t.Path(QStringLiteral("plain.bin"))), QString());
  EXPECT_EQ(f.FileVersion(t.Path(QStringLiteral("missing.so.1"))), QString());
}

TEST(CFileFs, AttribString) {
  lmtest::TempTree t;
  const lm::cFile f;
  const QString plain = t.WriteFile(QStringLiteral("plain.txt"), "x");
  const QString ro = t.WriteFile(QStringLiteral("ro.txt"), "x");
  ASSERT_EQ(::chmod(QFile::encodeName(ro).constData(), 0444), 0);
  const QString hidden = t.WriteFile(QStringLiteral(".hidden"), "x");
  EXPECT_EQ(f.AttribString(plain), QStringLiteral("---a"));
  EXPECT_EQ(f.AttribString(ro), QStringLiteral("r--a"));
  EXPECT_EQ(f.AttribString(hidden), QStringLiteral("--ha"));
  EXPECT_EQ(f.AttribString(t.Path()), QStringLiteral("----"));
  EXPECT_EQ(f.AttribString(t.Path(QStringLiteral("missing"))), QString());
}

}  // namespace

namespace {

TEST(Wildcard, MatchesWildcard) {
  struct Case {
    const char* pattern;
    const char* name;
    bool sensitive;
    bool insensitive;
  } cases[] = {
      {"*", "", true, true},          {"*", "abc", true, true},        {"?", "", false, false},
      {"a?c", "abc", true, true},     {"a?c", "ac", false, false},     {"*.txt", "a.txt", true, true},
      {"*.txt", "a.TXT", false, true}, {"*a*b*", "xxaybzz", true, true}, {"*a*b", "ab_ab_a", false, false},
      {"a*", "b", false, false},      {"**x", "x", true, true},        {"abc", "abcd", false, false},
      {"[a]", "[a]", true, true},     {"*.*", "noext", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(lm::MatchesWildcard(QString::fromUtf8(c.pattern), QString::fromUtf8(c.name)), c.sensitive)
        << c.pattern << " " << c.name;
    EXPECT_EQ(lm::MatchesWildcard(QString::fromUtf8(c.pattern), QString::fromUtf8(c.name), Qt::CaseInsensitive),
              c.insensitive)
        << c.pattern << " " << c.name;
  }
}

}  // namespace
