#include "sync/remote_tree.h"

#include <QObject>

#include "sync/mc_win_ftp.h"
#include "sync/safe_names.h"
#include "util/message_box.h"

namespace lm {

bool IsUploadTempName(const QString& name) {
  return name.size() > 8 && name.startsWith(QLatin1Char('.')) && name.endsWith(QLatin1String(".lmpart"));
}

bool ListRemoteTree(McWinFTP& ftp, std::vector<RemoteEntry>& out, QString& message) {
  out.clear();
  qint32 errorNumber = 0;
  QString errorText;
  const QMetaObject::Connection connection =
      QObject::connect(&ftp, &McWinFTP::FTPFrr, [&](qint32 n, const QString& text) {
        errorNumber = n;
        errorText = text;
      });
  struct Disconnect {
    QMetaObject::Connection c;
    ~Disconnect() { QObject::disconnect(c); }
  } disconnect{connection};

  std::vector<QString> pending{QString()};
  for (std::size_t i = 0; i < pending.size(); ++i) {
    const QString dir = pending[i];
    errorNumber = 0;
    errorText.clear();
    ftp.FindFile(dir);
    for (; !ftp.RemoteFile().SearchEnd; ftp.NextFile()) {
      const FTPFile& f = ftp.RemoteFile();
      const QString name = f.FileName;
      if (name == QLatin1String(".") || name == QLatin1String("..")) continue;
      QString why;
      if (!IsSafeEntryName(name, &why)) {
        message = UnsafeNameMessage(name, why, QStringLiteral("サーバーの一覧: ") +
                                                   (dir.isEmpty() ? QStringLiteral("/") : dir));
        return false;
      }
      if (static_cast<int>(out.size()) >= kMaxRemoteEntries) {
        message = QStringLiteral("サーバーのフォルダの項目が%1個を超えています。").arg(kMaxRemoteEntries);
        return false;
      }
      RemoteEntry e;
      e.path = dir.isEmpty() ? name : dir + QLatin1Char('/') + name;
      e.dir = f.FileType == 16;
      e.size = e.dir ? 0 : static_cast<qint64>(f.FileSize);
      if (e.dir) pending.push_back(e.path);
      out.push_back(std::move(e));
    }
    if (errorNumber != 0) {
      message = QStringLiteral("サーバーのフォルダの一覧を受信できませんでした。") + CR +
                Bracketed(dir.isEmpty() ? QStringLiteral("/") : dir) + CR + errorText;
      return false;
    }
  }
  return true;
}

}  // namespace lm
