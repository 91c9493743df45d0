// Helpers for the tests of the archiver libraries and their wrappers: the
// program folder the libraries are loaded from, external archive readers,
// tree comparison and a hand-made cabinet writer.
#pragma once

#include <cstdint>
#include <map>
#include <ostream>

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

#include "util/app_globals.h"

// Readable test messages for Qt texts.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
inline void PrintTo(const QByteArray& b, std::ostream* os) {
  *os << b.size() << " bytes \"" << b.left(40).toStdString() << (b.size() > 40 ? "...\"" : "\"");
}

namespace lmtest {

// Points the library search at `dir` for the life of the object.
class ProgramDirScope {
 public:
  explicit ProgramDirScope(const QString& dir) : saved_(lm::programDir) {
    lm::programDir = dir;
    lm::SetExecutableDirForTesting(dir);
  }
  ~ProgramDirScope() {
    lm::programDir = saved_;
    lm::SetExecutableDirForTesting(QString());
  }

 private:
  QString saved_;
};

inline QString BinDir() { return QStringLiteral(LM_BIN_DIR); }

inline bool HaveLibrary(const char* file) { return QFileInfo::exists(BinDir() + QLatin1Char('/') + file); }

// A listing number written with "," and "." as in Japanese, turned into the
// system locale's separators the wrappers use.
inline QString LocaleNumber(const char* text) {
  const QLocale locale = QLocale::system();
  const QString group = locale.groupSeparator().isEmpty() ? QStringLiteral(",") : locale.groupSeparator();
  const QString point = locale.decimalPoint().isEmpty() ? QStringLiteral(".") : locale.decimalPoint();
  QString out;
  for (const char* c = text; *c; ++c) out += *c == ',' ? group : *c == '.' ? point : QString(QLatin1Char(*c));
  return out;
}

struct ToolResult {
  int exitCode = -1;
  QByteArray out;
};

// Runs an external program to the end (in `workDir` when given).
inline ToolResult RunTool(const QString& program, const QStringList& args, const QString& workDir = QString()) {
  ToolResult r;
  QProcess p;
  if (!workDir.isEmpty()) p.setWorkingDirectory(workDir);
  p.setProcessChannelMode(QProcess::MergedChannels);
  p.start(program, args);
  if (!p.waitForStarted(10000)) {
    r.out = "cannot start " + program.toUtf8();
    return r;
  }
  p.waitForFinished(120000);
  r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
  r.out = p.readAll();
  return r;
}

inline bool HaveTool(const QString& name) { return !QStandardPaths::findExecutable(name).isEmpty(); }

// Every file below `root` by its relative path ("/" between levels) with its bytes.
inline std::map<QString, QByteArray> TreeFiles(const QString& root) {
  std::map<QString, QByteArray> files;
  QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    files[QDir(root).relativeFilePath(path)] = f.readAll();
  }
  return files;
}

// One member of a hand-made cabinet: stored bytes, no compression.
struct RawMember {
  QByteArray name;  // as stored (code page 932 or UTF-8 with the flag in attr)
  QByteArray data;
  uint16_t date = 0;
  uint16_t time = 0;
  uint16_t attr = 0x20;
};

// A cabinet with one uncompressed folder written byte by byte after the
// published CAB layout, independent of libgcab: header, folder entry, file
// entries, one data block.
inline QByteArray MakeStoredCab(const std::vector<RawMember>& members) {
  auto u16 = [](QByteArray& b, uint16_t v) {
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
  };
  auto u32 = [&](QByteArray& b, uint32_t v) {
    u16(b, uint16_t(v & 0xFFFF));
    u16(b, uint16_t(v >> 16));
  };
  QByteArray data, files;
  for (const RawMember& m : members) {
    u32(files, uint32_t(m.data.size()));
    u32(files, uint32_t(data.size()));
    u16(files, 0);  // folder 0
    u16(files, m.date);
    u16(files, m.time);
    u16(files, m.attr);
    files.append(m.name);
    files.append('\0');
    data.append(m.data);
  }
  const uint32_t headerSize = 36, folderSize = 8;
  const uint32_t filesOffset = headerSize + folderSize;
  const uint32_t dataOffset = filesOffset + uint32_t(files.size());
  const uint16_t blocks = data.isEmpty() ? 0 : 1;
  const uint32_t total = dataOffset + (blocks ? 8 + uint32_t(data.size()) : 0);
  QByteArray cab("MSCF", 4);
  u32(cab, 0);
  u32(cab, total);
  u32(cab, 0);
  u32(cab, filesOffset);
  u32(cab, 0);
  cab.append(char(3));  // format version 1.3
  cab.append(char(1));
  u16(cab, 1);  // one folder
  u16(cab, uint16_t(members.size()));
  u16(cab, 0);  // flags
  u16(cab, 0);  // set id
  u16(cab, 0);  // cabinet number
  u32(cab, dataOffset);
  u16(cab, blocks);
  u16(cab, 0);  // no compression
  cab.append(files);
  if (blocks) {
    u32(cab, 0);  // no checksum
    u16(cab, uint16_t(data.size()));
    u16(cab, uint16_t(data.size()));
    cab.append(data);
  }
  return cab;
}

}  // namespace lmtest
