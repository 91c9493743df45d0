#include "sync/upload_report.h"

#include <QFileInfo>
#include <QLocale>

#include "sync/check_differ.h"
#include "util/message_box.h"
#include "util/path_resolver.h"
#include "util/text_file.h"

namespace lm {
namespace {

const QString kIndexKept = QStringLiteral("サーバーの更新定義ファイルは変更されていません。");

QString SentAndDeleted(int files, qint64 bytes, int deleted) {
  return QStringLiteral("送信 %1 件 (%2)　削除 %3 件").arg(files).arg(ByteCountText(bytes)).arg(deleted);
}

}  // namespace

QString ByteCountText(qint64 n) {
  return QLocale(QLocale::Japanese).toString(n) + QStringLiteral(" バイト");
}

QString UploadTotalsText(const QString& datDir) {
  qint64 bytes = 0;
  int files = 0;
  for (const QString& path : std::as_const(uploadList)) {
    if (path.endsWith(QLatin1Char('\\'))) continue;
    QString rel = path;
    rel.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString real = ResolveExisting(datDir + rel.mid(1));
    bytes += QFileInfo(real).size();
    ++files;
  }
  return SentAndDeleted(files, bytes, static_cast<int>(deleteList.size()));
}

QString DeletionQuestion(int count) {
  return QStringLiteral("サーバーから %1 件のファイル・フォルダを削除します。よろしいですか？").arg(count);
}

QString UploadOutcomeText(const UploadOutcome& outcome) {
  switch (outcome.status) {
    case UploadOutcome::Done: {
      QString text = QStringLiteral("アップロードが完了しました。") + CR +
                     SentAndDeleted(outcome.filesSent, outcome.bytesSent, outcome.deleted);
      if (!outcome.notDeleted.isEmpty())
        text += CR + QStringLiteral("削除できなかったもの: ") + outcome.notDeleted.join(QStringLiteral("、"));
      return text;
    }
    case UploadOutcome::Cancelled:
      return QStringLiteral("アップロードを中止しました。") + CR + kIndexKept + CR +
             QStringLiteral("もう一度実行すると残りを送信します。");
    case UploadOutcome::Failed:
      break;
  }
  return outcome.message + CR + (outcome.serverState.isEmpty() ? kIndexKept : outcome.serverState);
}

int UploadOutcomeStyle(const UploadOutcome& outcome) {
  return outcome.status == UploadOutcome::Done ? style::Information : style::Exclamation;
}

void KeepServerIndexCopy(const QString& datDir) {
  QByteArray bytes;
  if (ReadFileBytes(datDir + QStringLiteral("index.fet"), bytes)) WriteFileAtomically(ServerIndexCopyPath(), bytes);
}

QString DatDirOfCurrentProfile() {
  const QString index = CurrentProfileIndexPath();
  return index.left(index.size() - QStringLiteral("index.fet").size());
}

}  // namespace lm
