#include "util/creg.h"

#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include "util/message_box.h"

namespace lm {
namespace {

QString g_storePathOverride;

QString StoreKey(uint32_t root, const QString& subKey, const QString& valName) {
  // One INI key per value; "/" and "\" must not reach QSettings, which reads them as groups.
  const QString name = subKey.toLower() + QLatin1Char('\\') + valName.toLower();
  return QStringLiteral("%1/%2").arg(root, 8, 16, QLatin1Char('0'))
      .arg(QString::fromLatin1(QUrl::toPercentEncoding(name)));
}

QString EnvOr(const char* name, const QString& fallback) {
  const QString v = qEnvironmentVariable(name);
  return v.isEmpty() ? fallback : v;
}

QStringList ConfigDirs() {
  QStringList dirs{EnvOr("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"))};
  dirs += EnvOr("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
  return dirs;
}

QStringList DataDirs() {
  QStringList dirs{EnvOr("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"))};
  dirs += EnvOr("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"))
              .split(QLatin1Char(':'), Qt::SkipEmptyParts);
  return dirs;
}

// The entries of one section of a desktop-style INI file ("key=value" lines).
QList<QPair<QString, QString>> ReadSection(const QString& path, const QString& section) {
  QList<QPair<QString, QString>> entries;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return entries;
  bool inSection = false;
  const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
  for (QString line : lines) {
    line = line.trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
    if (line.startsWith(QLatin1Char('['))) {
      inSection = line == QLatin1Char('[') + section + QLatin1Char(']');
      continue;
    }
    if (!inSection) continue;
    const int eq = line.indexOf(QLatin1Char('='));
    if (eq <= 0) continue;
    entries.append({line.left(eq).trimmed(), line.mid(eq + 1).trimmed()});
  }
  return entries;
}

QString DesktopFilePath(const QString& desktopId) {
  if (desktopId.isEmpty() || desktopId.contains(QLatin1Char('/'))) return {};
  QString nested = desktopId;
  nested.replace(QLatin1Char('-'), QLatin1Char('/'));
  for (const QString& dir : DataDirs()) {
    for (const QString& name : {desktopId, nested}) {
      const QString p = dir + QStringLiteral("/applications/") + name;
      if (QFileInfo(p).isFile()) return p;
    }
  }
  return {};
}

// The first installed desktop entry of a ";"-separated list.
QString FirstInstalled(const QString& list) {
  for (const QString& id : list.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    if (!DesktopFilePath(id.trimmed()).isEmpty()) return id.trimmed();
  }
  return {};
}

// The mimeapps.list files in the order of precedence of the XDG rules.
QStringList MimeAppsLists() {
  QStringList desktops;
  for (const QString& d : qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
    desktops << d.toLower();
  }
  QStringList files;
  auto addDir = [&](const QString& dir) {
    for (const QString& d : desktops) files << dir + QLatin1Char('/') + d + QStringLiteral("-mimeapps.list");
    files << dir + QStringLiteral("/mimeapps.list");
  };
  for (const QString& dir : ConfigDirs()) addDir(dir);
  for (const QString& dir : DataDirs()) addDir(dir + QStringLiteral("/applications"));
  return files;
}

QString DefaultFromLists(const QString& mimeType) {
  for (const QString& file : MimeAppsLists()) {
    for (const auto& [key, value] : ReadSection(file, QStringLiteral("Default Applications"))) {
      if (key == mimeType) {
        const QString id = FirstInstalled(value);
        if (!id.isEmpty()) return id;
      }
    }
  }
  for (const QString& dir : DataDirs()) {
    for (const auto& [key, value] :
         ReadSection(dir + QStringLiteral("/applications/defaults.list"), QStringLiteral("Default Applications"))) {
      if (key == mimeType) {
        const QString id = FirstInstalled(value);
        if (!id.isEmpty()) return id;
      }
    }
  }
  // An installed application that declares the type.
  for (const QString& dir : DataDirs()) {
    const QDir apps(dir + QStringLiteral("/applications"));
    for (const QString& name : apps.entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name)) {
      for (const auto& [key, value] : ReadSection(apps.filePath(name), QStringLiteral("Desktop Entry"))) {
        if (key == QLatin1String("MimeType") && value.split(QLatin1Char(';')).contains(mimeType)) return name;
      }
    }
  }
  return {};
}

// Asks xdg-mime where it is installed: it knows the desktop-specific rules.
QString DefaultFromXdgMime(const QString& mimeType) {
  const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (tool.isEmpty()) return {};
  QProcess p;
  p.start(tool, {QStringLiteral("query"), QStringLiteral("default"), mimeType});
  if (!p.waitForFinished(5000)) {
    p.kill();
    p.waitForFinished(1000);
    return {};
  }
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
  const QString id = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
  return DesktopFilePath(id).isEmpty() ? QString() : id;
}

QString MimeTypeOfExtension(const QString& dotExtension) {
  if (dotExtension.size() < 2) return {};
  const QMimeDatabase db;
  const QList<QMimeType> types = db.mimeTypesForFileName(QStringLiteral("file") + dotExtension);
  return types.isEmpty() ? QString() : types.first().name();
}

QString CommandOfType(const QString& mimeType) {
  const QMimeDatabase db;
  const QMimeType type = db.mimeTypeForName(mimeType);
  if (!type.isValid()) return {};
  // The type itself, then the types it is a kind of (a C++ source is text).
  QStringList candidates{type.name()};
  candidates += type.aliases();
  candidates += type.allAncestors();
  for (const QString& name : candidates) {
    const QString id = cReg::DefaultApplicationFor(name);
    if (!id.isEmpty()) return cReg::CommandOfDesktopEntry(id);
  }
  return {};
}

// The classes root as the desktop's file-type database answers it.
QString DesktopClassesValue(const QString& subKey, const QString& valName) {
  if (!valName.isEmpty()) return {};
  static const QString kOpen = QStringLiteral("\\shell\\open\\command");
  if (subKey.endsWith(kOpen, Qt::CaseInsensitive)) {
    QString type = subKey.chopped(kOpen.size());
    if (type.startsWith(QLatin1Char('.'))) type = MimeTypeOfExtension(type);
    return type.isEmpty() ? QString() : CommandOfType(type);
  }
  if (subKey.contains(QLatin1Char('\\'))) return {};
  if (subKey.startsWith(QLatin1Char('.'))) return MimeTypeOfExtension(subKey);
  const QMimeDatabase db;
  const QMimeType type = db.mimeTypeForName(subKey);
  return type.isValid() ? type.comment() : QString();
}

}  // namespace

QString cReg::StorePath() {
  if (!g_storePathOverride.isEmpty()) return g_storePathOverride;
  return QStandardPaths::writableLocation(QStandardPaths::ConfigLocation) +
         QStringLiteral("/loftmark/registry.ini");
}

void cReg::SetStorePathForTesting(const QString& path) { g_storePathOverride = path; }

QString cReg::RegGetString(uint32_t lnghInKey, const QString& strSubKey, const QString& strValName) const {
  {
    const QSettings store(StorePath(), QSettings::IniFormat);
    const QVariant v = store.value(StoreKey(lnghInKey, strSubKey, strValName));
    if (v.isValid()) {
      QString text = v.toString();
      const int nul = text.indexOf(QChar(0));
      return nul >= 0 ? text.left(nul) : text;
    }
  }
  if (lnghInKey == kHkeyClassesRoot) return DesktopClassesValue(strSubKey, strValName);
  return {};
}

bool cReg::RegSetString(uint32_t lnghKey, const QString& strSubKey, const QString& strValName,
                        const QString& strSetValue) {
  const QString path = StorePath();
  int err = 0;
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
    err = errno ? errno : EACCES;
  } else {
    QSettings store(path, QSettings::IniFormat);
    store.setValue(StoreKey(lnghKey, strSubKey, strValName), strSetValue);
    store.sync();
    if (store.status() == QSettings::AccessError) {
      err = EACCES;
    } else if (store.status() == QSettings::FormatError) {
      err = EINVAL;
    }
  }
  if (err == 0) return true;
  MsgBox(QStringLiteral("ERROR #") + QString::number(err) + QStringLiteral(" : ") +
             QString::fromLocal8Bit(std::strerror(err)),
         style::OkOnly);
  return false;
}

QString cReg::DefaultApplicationFor(const QString& mimeType) {
  const QString viaTool = DefaultFromXdgMime(mimeType);
  return viaTool.isEmpty() ? DefaultFromLists(mimeType) : viaTool;
}

QString cReg::CommandOfDesktopEntry(const QString& desktopId) {
  const QString path = DesktopFilePath(desktopId);
  if (path.isEmpty()) return {};
  QString exec;
  for (const auto& [key, value] : ReadSection(path, QStringLiteral("Desktop Entry"))) {
    if (key == QLatin1String("Exec")) {
      exec = value;
      break;
    }
  }
  if (exec.isEmpty()) return {};
  // String escapes of the desktop entry format, then its field codes: the
  // first file or URL code becomes "%1" (quoted, so a name with blanks stays
  // one argument); the others are dropped.
  QString unescaped;
  for (int i = 0; i < exec.size(); ++i) {
    if (exec.at(i) == QLatin1Char('\\') && i + 1 < exec.size()) {
      const QChar n = exec.at(++i);
      unescaped += n == QLatin1Char('s') ? QChar(' ') : n == QLatin1Char('t') ? QChar('\t') : n;
    } else {
      unescaped += exec.at(i);
    }
  }
  QString command;
  bool fileCodeSeen = false;
  for (int i = 0; i < unescaped.size(); ++i) {
    const QChar c = unescaped.at(i);
    if (c != QLatin1Char('%') || i + 1 >= unescaped.size()) {
      command += c;
      continue;
    }
    const QChar code = unescaped.at(++i);
    if (code == QLatin1Char('%')) {
      command += QLatin1Char('%');
    } else if (QStringLiteral("fFuU").contains(code) && !fileCodeSeen) {
      fileCodeSeen = true;
      const bool quoted = command.endsWith(QLatin1Char('"'));
      command += quoted ? QStringLiteral("%1") : QStringLiteral("\"%1\"");
    }
  }
  return command.trimmed();
}

}  // namespace lm
