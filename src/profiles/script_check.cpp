#include "profiles/script_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <QFile>

#include "util/message_box.h"
#include "util/path_resolver.h"

namespace lm {
namespace {

int LastSeparator(const QString& path) {
  return std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
}

// The separator used when the check joins "DAT" and a proof file name to the
// script's directory. Paths read on Windows use "\", paths of this system use
// "/"; the proof paths follow the given path so that they read naturally in
// messages. A path without any separator gets the native "/".
QChar SeparatorStyleOf(const QString& path) {
  const int pos = LastSeparator(path);
  return pos >= 0 ? path.at(pos) : QLatin1Char('/');
}

}  // namespace

bool CanOpenFile(const QString& path) {
  if (path.isEmpty()) return false;
  const QString real = ResolveExisting(path);
  if (real.isEmpty()) return false;
  const int fd = ::open(QFile::encodeName(real).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  const bool isDirectory = ::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode);
  ::close(fd);
  return !isDirectory;
}

void DirOf(const QString& path, QString& out) {
  const int pos = LastSeparator(path);
  out = pos >= 0 ? path.left(pos + 1) : path;
}

QString DirOf(const QString& path) {
  QString out;
  DirOf(path, out);
  return out;
}

int16_t ScriptNameOf(const QString& path, QString& out) {
  out.clear();
  const int sep = LastSeparator(path);
  if (sep < 0) return -9;
  const QString fileName = path.mid(sep + 1);
  if (fileName.size() < 5) return -9;
  int dot = fileName.indexOf(QLatin1Char('.'));
  if (dot < 0) dot = fileName.size();
  out = fileName.left(dot).toUpper();
  const QString extension = fileName.mid(dot + 1).toUpper();
  if ((extension == QLatin1String("PSN") || extension == QLatin1String("UGU")) && out.size() >= 3) {
    return 0;
  }
  return -9;
}

QString DatDirOf(const QString& path, int16_t nonRegular) {
  const QChar sep = SeparatorStyleOf(path);
  QString name;
  ScriptNameOf(path, name);
  const QString dat = QStringLiteral("DAT") + sep;
  return nonRegular == 1 ? DirOf(path) + dat : DirOf(path) + name + sep + dat;
}

int16_t CheckScriptFile(const QString& path, QString& message, int16_t& nonRegular) {
  message.clear();
  if (!CanOpenFile(path)) {
    message = QStringLiteral("スクリプト情報ファイル（UGU/PSNファイル）が存在しません。") + CR +
              QStringLiteral("または、選択されていません。") + CR + Bracketed(path);
    return -1;
  }
  const int dot = path.lastIndexOf(QLatin1Char('.'));
  if (dot < 0) {
    message = QStringLiteral("選択されたファイルはスクリプト情報ファイル（UGU/PSNファイル）ではありません。") +
              CR + Bracketed(path);
    return -2;
  }
  const QString extension = path.mid(dot + 1).toUpper();
  nonRegular = 0;

  // The script name's status does not matter here: a short name is still tried.
  const QString regularDat = DatDirOf(path, 0);
  const QString besideDat = DatDirOf(path, 1);
  QString firstProof;
  QString secondProof;
  if (extension == QLatin1String("PSN")) {
    firstProof = regularDat + QStringLiteral("aya00.out");
    if (CanOpenFile(firstProof)) return 0;
  } else if (extension == QLatin1String("UGU")) {
    firstProof = regularDat + QStringLiteral("mio00.euu");
    if (CanOpenFile(firstProof)) return 0;
    secondProof = besideDat + QStringLiteral("mio00.euu");
    if (CanOpenFile(secondProof)) {
      nonRegular = 1;
      return 0;
    }
  } else {
    message = QStringLiteral("選択されたファイルの拡張子は、") + CR +
              QStringLiteral("スクリプト情報ファイル（UGU/PSNファイル）のものではありません。") + CR +
              Bracketed(path);
    return -2;
  }

  message = QStringLiteral("このスクリプト情報ファイル（UGU/PSNファイル）は有効ではありません。") + CR +
            Bracketed(path) + CR + CR +
            QStringLiteral("スクリプト情報ファイルの検証過程で、下記のファイルを発見できませんでした。") + CR +
            Bracketed(firstProof);
  if (!secondProof.isEmpty()) message += CR + Bracketed(secondProof);
  return -2;
}

ScriptLayout LayoutOf(const QString& path, int16_t nonRegular) {
  ScriptLayout layout;
  layout.scriptPath = path;
  layout.folder = DirOf(path);
  ScriptNameOf(path, layout.name);
  layout.nonRegular = nonRegular;
  layout.datDir = DatDirOf(path, nonRegular);
  layout.indexPath = layout.datDir + QStringLiteral("index.fet");
  return layout;
}

int16_t CheckScriptLayout(const QString& path, ScriptLayout& layout, QString& message) {
  int16_t nonRegular = 0;
  const int16_t status = CheckScriptFile(path, message, nonRegular);
  layout = LayoutOf(path, nonRegular);
  return status;
}

}  // namespace lm
